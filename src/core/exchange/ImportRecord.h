#pragma once
// One card of a vCard file, or one data row of a CSV file, as the readers hand it to the importer:
// either the person it describes, or why it cannot be imported.
#include "core/store/ContactFields.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct ImportRecord {
    int number = 0; // 1-based: the card's place in the file, or the CSV data row (the header not counted)
    QString error;  // empty when the record can be imported; otherwise the reason it is skipped

    // fields.groupKey is left empty: the importer finds the group. fields.photo holds a photo given by
    // reference (a local path, or a URI kept as it was written).
    ContactFields fields;
    QString groupName;      // the first CATEGORIES value, or the 分组 column
    QString uid;            // UID as written
    QByteArray photoData;   // an embedded photo
    QString photoExtension; // "jpg", "png", ... whenever photoData is set
    QStringList warnings;   // what the record held that has no place in a contact (a second e-mail, ...)

    bool ok() const { return error.isEmpty(); }
};

// What a reader made of a whole file.
struct ImportBatch {
    enum class Source { VCard, Csv };
    Source source = Source::VCard;
    std::vector<ImportRecord> records;
    QString error; // the file as a whole cannot be read (a CSV file without a name column, ...)
};
