#pragma once
// Counts the statements that every SQLite connection of this process runs while it lives, by the
// start of their text: a test asserts how often the program reads or checks, never how long it takes.
// Only connections opened after it are seen. One at a time.
#include <QByteArray>
#include <QList>
#include <mutex>

class StatementCounter {
public:
    StatementCounter();
    ~StatementCounter();
    StatementCounter(const StatementCounter&) = delete;
    StatementCounter& operator=(const StatementCounter&) = delete;

    // Runs, since this object was made, of statements whose text starts with prefix (ASCII case
    // folded), on every connection opened since then.
    int count(const QByteArray& prefix) const;

    void record(const char* text);

private:
    mutable std::mutex mutex_; // connections on other threads report too
    QList<QByteArray> texts_;
};
