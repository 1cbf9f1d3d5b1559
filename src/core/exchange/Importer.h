#pragma once
// Writes what the readers made of a file into the data file: every imported card in one transaction,
// groups found by name (and created when missing), cards that zinteva wrote matched to their contact
// by UID, embedded photos saved beside the data file.
#include "core/exchange/ImportRecord.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class Store;

struct ImportProblem {
    int number = 0; // the card's place in the file, or the CSV data row
    QString name;   // the person's name when it could be read
    QString reason;
};

struct ImportSummary {
    ImportBatch::Source source = ImportBatch::Source::VCard;
    int total = 0;                       // records in the file, good and broken
    int added = 0;                       // new contacts
    int updated = 0;   // contacts of this data file that a card changed
    int unchanged = 0; // contacts of this data file that a card matched exactly
    // Of those updated or unchanged: found by name with their mobile number or own e-mail, not by UID.
    int samePeople = 0;
    // Of those: whose empty fields the card filled, and whose other values were kept beside theirs.
    int samePeopleFilled = 0;
    int samePeopleBeside = 0;
    // Of those added: somebody of the same name was there already, but nothing showed that the
    // card is them (查找重复 lists them).
    int possibleDuplicates = 0;
    // What the updates changed: each field's name and how many people it changed for, in the order
    // first met.
    std::vector<std::pair<QString, int>> updatedFields;
    std::vector<ImportProblem> skipped;  // records not imported, and why
    std::vector<ImportProblem> warnings; // imported, but something of the card was left out
    QStringList createdGroups;
    // The groups' cards of the file (KIND:group): each group's name and how many of its members were
    // found and put into it. They are records of the file (total) but no people.
    std::vector<std::pair<QString, int>> groupCards;
    int keptProperties = 0;  // properties of the cards that have no column, kept beside the contacts
    QString assumedEncoding; // the file's text without a declared charset was read so
    QString layout;          // CSV: the producer whose columns were recognised
    QStringList unknownColumns; // CSV: columns of no known meaning, their values kept
    QString failure;         // when set nothing was written: unreadable file, refused write, cancelled
    int photosNotSaved = 0;  // pictures of the file that could not be written (a full disk): not complete
    bool cancelled = false;

    int imported() const { return added + updated + unchanged; }
    // The records of the file that are people: all but the groups' cards.
    int people() const { return total - static_cast<int>(groupCards.size()); }
    void countUpdate(const QString& field);
    // Every card of the file is in the data file (the command line's exit code 0).
    bool complete() const { return failure.isEmpty() && skipped.empty() && photosNotSaved == 0 && total > 0; }
    // The summary for the user: counts, then each skipped record and why.
    QString text() const;
};

struct ImportOptions {
    // The group of the cards without CATEGORIES: this key when it names a group, else the group of
    // this name (created when missing), else the first group the data file had before the import, else
    // a new group "未分组".
    QString defaultGroupKey;
    QString defaultGroupName;
};

// Called now and then with the records done and the total; returning false cancels the import, and
// then nothing is written.
using ImportProgress = std::function<bool(int done, int total)>;

class Importer {
public:
    // dataFilePath: the data file the store has open; photos go into the folder "photos" beside it.
    Importer(Store& store, const QString& dataFilePath);

    ImportSummary run(const ImportBatch& batch, const ImportOptions& options, const ImportProgress& progress = {});
    // Reads the file (vCard or CSV, told by its name, else by its content) and imports it.
    ImportSummary runFile(const QString& path, const ImportOptions& options, const ImportProgress& progress = {});

    // Reads a file as vCard or CSV; on failure the batch carries the error.
    static ImportBatch readFile(const QString& path);
    // The records a file holds (cards, or CSV data rows), for the question before an import; nothing,
    // with the reason, when the file cannot be read. The file is read through, not held.
    static std::optional<int> countFile(const QString& path, QString* error);
    QString photosFolder() const { return photosFolder_; }

private:
    using RecordSink = std::function<void(const ImportRecord&)>;
    // Hands every record to the sink, in the file's order.
    using RecordFeed = std::function<void(const RecordSink&)>;
    // `expected`: the number of records, for the progress (the summary counts those fed).
    ImportSummary runRecords(ImportBatch::Source source, int expected, const RecordFeed& feed,
                             const ImportOptions& options, const ImportProgress& progress);

    Store& store_;
    QString photosFolder_;
};
