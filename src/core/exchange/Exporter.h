#pragma once
// Takes contacts out of the data file: all of them, one group, or a given list (what the contact list
// shows), as vCard 3.0 or 4.0 or as CSV.
#include "core/exchange/VCardWriter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

enum class ExportFormat { VCard30, VCard40, CsvUtf8, CsvGbk };

class Exporter {
public:
    explicit Exporter(Store& store);

    // The file's bytes; `count` receives the number of contacts written. Throws StoreError.
    QByteArray build(const ExportSelection& selection, ExportFormat format, int* count = nullptr);

    // Builds and saves through QSaveFile, so that an existing file is replaced only by a complete new
    // one. False with the reason in `error` when the data file or the disk fails.
    bool exportToFile(const QString& path, const ExportSelection& selection, ExportFormat format, int* count,
                      QString* error);

    static bool saveBytes(const QString& path, const QByteArray& bytes, QString* error);
    // .csv is CSV (GBK when asked), anything else vCard of the version asked.
    static ExportFormat formatFor(const QString& path, VCardVersion version, bool csvGbk = false);

private:
    Store& store_;
};
