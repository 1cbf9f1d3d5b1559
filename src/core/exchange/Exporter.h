#pragma once
// Takes contacts out of the data file: all of them, one group, or a given list (what the contact list
// shows), as vCard 3.0 or 4.0 or as CSV.
#include "core/exchange/VCardWriter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;
class Store;

struct ExportSelection {
    enum class Kind { All, Group, Keys };
    Kind kind = Kind::All;
    QString groupKey; // Kind::Group
    QStringList keys; // Kind::Keys: contact keys, in the order to write them

    static ExportSelection all() { return {}; }
    static ExportSelection group(const QString& key) { return {Kind::Group, key, {}}; }
    static ExportSelection contacts(const QStringList& keys) { return {Kind::Keys, {}, keys}; }
};

namespace exportdetail {
// How many bytes of the file are gathered before they are handed to the device. Tests make it tiny.
extern qsizetype pieceBytes;
} // namespace exportdetail

// CsvGbk is strict GBK: a contact with a character outside GBK stops the export (build() names them
// in the error, and CsvGb18030 writes them).
enum class ExportFormat { VCard30, VCard40, CsvUtf8, CsvGbk, CsvGb18030 };

class Exporter {
public:
    explicit Exporter(Store& store);

    // The file's bytes; `count` receives the number of contacts written. Throws StoreError. Empty, with
    // the reason in `error`, when the contacts cannot be written in the encoding asked (strict GBK).
    QByteArray build(const ExportSelection& selection, ExportFormat format, int* count = nullptr,
                     QString* error = nullptr);
    // Writes the file to `out` card by card. False when `out` refuses a write, or (with the reason in
    // `error`) when the contacts cannot be written in the encoding asked. Throws StoreError.
    bool write(QIODevice& out, const ExportSelection& selection, ExportFormat format, int* count = nullptr,
               QString* error = nullptr);

    // Writes the file: a regular file through QSaveFile, so that an existing file is replaced only by a
    // complete new one; a FIFO or a device (/dev/stdout) directly, never replacing it. The data file,
    // its journal and the backup are refused, also through a symlink or a hard link. False with the
    // reason in `error` when the target is refused or the data file or the disk fails.
    bool exportToFile(const QString& path, const ExportSelection& selection, ExportFormat format, int* count,
                      QString* error);

    static bool saveBytes(const QString& path, const QByteArray& bytes, QString* error);
    // Why `path` may not be written (one of the program's own files), or an empty text.
    QString refusedTarget(const QString& path) const;
    // .csv is CSV (GBK when asked), anything else vCard of the version asked.
    static ExportFormat formatFor(const QString& path, VCardVersion version, bool csvGbk = false);
    // The same with the CSV format given (CsvUtf8, CsvGbk or CsvGb18030).
    static ExportFormat formatFor(const QString& path, VCardVersion version, ExportFormat csvFormat);
    static bool isCsv(ExportFormat format) {
        return format == ExportFormat::CsvUtf8 || format == ExportFormat::CsvGbk || format == ExportFormat::CsvGb18030;
    }

private:
    Store& store_;
};
