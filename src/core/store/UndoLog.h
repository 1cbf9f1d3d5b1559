#pragma once
// Undo and redo for the window's connection, kept by SQLite itself: temporary triggers on every
// table the user's changes reach write, while a step is being recorded, the statement that undoes
// each row's change into a temporary log. Undoing a step runs its statements backwards in one
// transaction; the triggers record what those statements did, which is the step's redo. Whatever
// table a command writes (contacts, groups, kept properties, the recently deleted), its undo comes
// back with it, and the data file carries nothing of this (the log dies with the connection).
#include <QString>
#include <optional>

class Connection;

class UndoLog {
public:
    // The log's entries seq in (after, upTo].
    struct Range {
        qint64 after = 0;
        qint64 upTo = 0;
        bool empty() const { return upTo <= after; }
    };

    explicit UndoLog(Connection& connection) : connection_(connection) {}
    // Creates the temporary log and triggers for the tables the data file has now; again after a
    // table was added (a new table's changes are not undoable before).
    void install();
    bool installed() const { return installed_; }

    // Between start() and stop() every change is logged; stop() gives what was logged. start()
    // installs what is missing.
    void start();
    Range stop();
    // Runs a range backwards in one transaction and forgets it; returns the range that undoes that.
    Range replay(const Range& range);
    // A range that will never be replayed (a redo after a new change).
    void forget(const Range& range);
    // Whether a step still in the log (to undo or to redo) holds the text.
    bool mentions(const QString& text);

private:
    qint64 lastSeq();
    qint64 schemaVersion();
    void installTriggers(const QString& table);

    Connection& connection_;
    bool installed_ = false;
    qint64 startedAt_ = 0;
    qint64 schema_ = -1;
};
