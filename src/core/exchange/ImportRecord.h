#pragma once
// One card of a vCard file, or one data row of a CSV file, as the readers hand it to the importer:
// either the person it describes, or why it cannot be imported.
#include "core/store/ContactFields.h"
#include "core/store/KeptProperties.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct ImportRecord {
    int number = 0; // 1-based: the card's place in the file, or the CSV data row (the header not counted)
    QString error;  // empty when the record can be imported; otherwise the reason it is skipped

    // fields.groupKey is left empty: the importer finds the group. fields.photo is left empty too: a
    // photo comes in only as embedded bytes (a path or URI written in a file is never read).
    ContactFields fields;
    QString groupName;      // the first CATEGORIES value, or the 分组 column
    QString uid;            // UID as written
    QByteArray photoData;   // an embedded photo
    QString photoExtension; // "jpg", "png", ... whenever photoData is set
    // A CSV 照片 column: taken only when it names a picture already in the data file's photos folder.
    QString photoReference;
    // Every property of the card but BEGIN, END, VERSION and PRODID, in the card's order; `value` is
    // left for the importer, which knows the final fields.
    std::vector<KeptProperty> kept;
    QStringList warnings;  // what the import changed or left out, for the summary
    // A group's card (KIND:group, X-ADDRESSBOOKSERVER-KIND:group): groupName is the group, members
    // the UIDs of its members (without urn:uuid:); no person.
    bool groupCard = false;
    QStringList members;
    bool ownCard = false;  // written by this program (its PRODID)
    bool version4 = false; // a vCard 4.0 card

    bool ok() const { return error.isEmpty(); }
};

// What a reader made of a whole file.
struct ImportBatch {
    enum class Source { VCard, Csv };
    Source source = Source::VCard;
    std::vector<ImportRecord> records;
    QString error; // the file as a whole cannot be read (a CSV file of no known layout, ...)
    // The encoding assumed for text that declares none and is not UTF-8 ("windows-1252", ...), and how
    // the file was recognised ("UTF-16BE" without a byte-order mark, ...): named in the summary.
    QString assumedEncoding;
    QString layout; // CSV: the producer whose headers were recognised
    QStringList unknownColumns; // CSV: the titles of columns of no known meaning whose values are kept
};
