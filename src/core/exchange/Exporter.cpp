#include "core/exchange/Exporter.h"

#include "core/store/PrivateFiles.h"
#include "core/text/FileErrors.h"

#include "core/exchange/Csv.h"
#include "core/exchange/PhotoBytes.h"
#include "core/store/ContactUidTable.h"
#include "core/store/DataFiles.h"
#include "core/store/KeptProperties.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "core/text/Keys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <functional>
#include <sys/stat.h>

qsizetype exportdetail::pieceBytes = 256 * 1024;

Exporter::Exporter(Store& store) : store_(store) {}

namespace {

// A picture larger than this is not embedded in a card (a photo is a few megabytes at most).
constexpr qint64 MaxPictureFile = 256 * 1024 * 1024;

// Writes everything or reports the device's failure.
bool writeAll(QIODevice& out, const QByteArray& bytes) {
    return out.write(bytes) == bytes.size();
}

} // namespace

bool Exporter::write(QIODevice& out, const ExportSelection& selection, ExportFormat format, int* count,
                     QString* error) {
    // One read transaction: the export sees one state of the file, and the UIDs it gives contacts
    // that had none are written once, at the end.
    Transaction transaction = store_.transaction();
    QHash<QString, QString> groupNames;
    for (const GroupRow& group : store_.groups())
        groupNames.insert(group.key, group.name);

    const bool csv = isCsv(format);
    const VCardVersion version = format == ExportFormat::VCard40 ? VCardVersion::V40 : VCardVersion::V30;
    const CsvFile::Encoding encoding = format == ExportFormat::CsvGbk       ? CsvFile::Encoding::Gbk
                                       : format == ExportFormat::CsvGb18030 ? CsvFile::Encoding::Gb18030
                                                                            : CsvFile::Encoding::Utf8WithBom;
    // A CSV file has as many columns of a typed field as the person with the most values of it needs;
    // one statement over the whole file (inside this transaction) tells, before the first row.
    CsvValueColumns valueColumns;
    if (csv) {
        for (const auto& [field, most] : store_.typedValues().mostPerPerson())
            valueColumns[field] = most;
    }
    // Each prepared once for the whole export, not once per contact.
    KeptTable::Reader keptReader = store_.keptTable().reader();
    ContactUidTable::Reader uidReader = store_.uids().reader();

    // Every contact of the selection in order, with its group's name, its kept properties and its UID.
    using Visit = std::function<bool(const QString& groupName, ContactFields& fields, std::vector<KeptProperty>& kept,
                                     const QString& uid)>;
    auto each = [&](const Visit& visit) {
        bool going = true;
        auto take = [&](const QString& key, ContactFields& fields) {
            if (!going)
                return;
            std::vector<KeptProperty> kept = keptReader.load(key);
            // A card that came with a UID keeps it; the others carry the contact's own.
            QString uid;
            for (const KeptProperty& property : kept) {
                if (property.field == keptfield::Uid && !property.value.isEmpty()) {
                    uid = property.value;
                    break;
                }
            }
            if (uid.isEmpty())
                uid = uidReader.uidOf(key, true);
            going = visit(groupNames.value(fields.groupKey), fields, kept, uid);
        };
        if (selection.kind == ExportSelection::Kind::Keys) {
            for (const QString& key : selection.keys) {
                std::optional<ContactFields> fields = store_.loadContact(key);
                if (fields) // else deleted meanwhile
                    take(key, *fields);
            }
        } else {
            // One statement for everybody or a group: the tree's top node "root" stands for everybody.
            const bool group = selection.kind == ExportSelection::Kind::Group && !keys::isRoot(selection.groupKey);
            store_.forEachContact(group ? selection.groupKey : QString(), take);
        }
        return going;
    };

    // Strict GBK: the contacts it cannot write are found before anything is written.
    if (encoding == CsvFile::Encoding::Gbk) {
        int bad = 0;
        QStringList names;
        each([&](const QString& groupName, ContactFields& fields, std::vector<KeptProperty>&, const QString& uid) {
            if (!CsvFile::rowBytes({fields, groupName, uid}, encoding, valueColumns)) {
                if (++bad <= 20)
                    names.append(fields.name.isEmpty() ? QStringLiteral("（无名）") : fields.name);
            }
            return true;
        });
        if (bad > 0) {
            if (bad > 20)
                names.append(QStringLiteral("……另有 %1 个").arg(bad - 20));
            if (error)
                *error = QStringLiteral(
                             "%1 个联系人含有 GBK 无法表示的字符：%2。请改用 GB18030 编码导出，它能写出所有字符。")
                             .arg(bad)
                             .arg(names.join(QStringLiteral("、")));
            if (count)
                *count = 0;
            return false;
        }
    }

    // Written contact by contact: a vCard file with each picture read only for its own card, a CSV
    // file row by row (it holds no pictures).
    if (csv && !writeAll(out, CsvFile::headBytes(encoding, valueColumns)))
        return false;
    int written = 0;
    // Cards and rows are built one after another in one buffer, handed to the device a piece at a time.
    QByteArray pending;
    const auto flush = [&](qsizetype atLeast) {
        if (pending.isEmpty() || pending.size() < atLeast)
            return true;
        const bool ok = writeAll(out, pending);
        pending.resize(0);
        return ok;
    };
    const bool complete = each([&](const QString& groupName, ContactFields& fields, std::vector<KeptProperty>& kept,
                                   const QString& uid) {
        if (csv) {
            const std::optional<QByteArray> row =
                CsvFile::rowBytes({std::move(fields), groupName, uid}, encoding, valueColumns);
            if (!row)
                return false;
            pending += *row;
            if (!flush(exportdetail::pieceBytes))
                return false;
            ++written;
            return true;
        }
        ExportCard card;
        card.fields = std::move(fields);
        card.groupName = groupName;
        card.uid = uid;
        card.kept = std::move(kept);
        if (auto picture = photobytes::readPictureFile(card.fields.photo, MaxPictureFile)) {
            card.photoData = std::move(picture->bytes);
            card.photoExtension = std::move(picture->extension);
        }
        VCardWriter::append(pending, card, version);
        if (!flush(exportdetail::pieceBytes))
            return false;
        ++written;
        return true;
    });
    if (!complete || !flush(0))
        return false;
    transaction.commit();
    if (count)
        *count = written;
    return true;
}

QByteArray Exporter::build(const ExportSelection& selection, ExportFormat format, int* count, QString* error) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!write(buffer, selection, format, count, error))
        return {};
    return buffer.data();
}



bool Exporter::saveBytes(const QString& path, const QByteArray& bytes, QString* error) {
    const bool isNew = privatefiles::isNew(path); // a new export is private; one there keeps its mode
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || (isNew && !privatefiles::restrict(file)) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
        return false;
    }
    return true;
}

QString Exporter::refusedTarget(const QString& path) const {
    // By identity, not by name: a symlink, a hard link or another spelling of the path is caught too.
    const QString dataFile = store_.filePath();
    if (dataFile.isEmpty())
        return {};
    const QString refused =
        QStringLiteral("不能导出到 %1：它是 zinteva 自己的数据文件或备份文件").arg(QDir::toNativeSeparators(path));
    // A journal comes and goes with each write: its name is refused even while there is none.
    const QFileInfo named(path);
    const QString folder = QFileInfo(named.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty() && QDir(folder).filePath(named.fileName()) ==
                                 QFileInfo(dataFile).canonicalFilePath() + QStringLiteral("-journal"))
        return refused;
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return {};
    const DataPaths paths = DataPaths::in(QFileInfo(dataFile).absolutePath());
    for (const QString& own : {dataFile, dataFile + QStringLiteral("-journal"), paths.data,
                               paths.data + QStringLiteral("-journal"), paths.backup,
                               paths.backup + QStringLiteral(".tmp")}) {
        struct stat st {};
        if (::stat(QFile::encodeName(own).constData(), &st) == 0 && st.st_dev == target.st_dev &&
            st.st_ino == target.st_ino)
            return refused;
    }
    return {};
}

bool Exporter::exportToFile(const QString& path, const ExportSelection& selection, ExportFormat format, int* count,
                            QString* error) {
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (const QString refused = refusedTarget(path); !refused.isEmpty())
        return fail(refused);
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("无法写入文件 %1：它是一个文件夹").arg(QDir::toNativeSeparators(path)));
    const auto readFailure = [&](const std::exception& e) {
        return fail(QStringLiteral("读取数据文件失败：%1").arg(QString::fromUtf8(e.what())));
    };
    if (target.exists() && !target.isFile()) {
        // A FIFO, a terminal, /dev/stdout: written to as it is, never replaced by a file.
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            return fail(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), out.errorString()));
        try {
            QString refused;
            if (!write(out, selection, format, count, &refused) || !out.flush())
                return fail(!refused.isEmpty() ? refused
                                               : QStringLiteral("无法写入文件 %1：%2")
                                                     .arg(QDir::toNativeSeparators(path), out.errorString()));
        } catch (const std::exception& e) {
            return readFailure(e);
        }
        return true;
    }
    // A regular file is replaced only by a complete new one; a new file is private (the person's
    // whole card is in it), one that is there keeps its mode.
    const bool isNew = privatefiles::isNew(path);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || (isNew && !privatefiles::restrict(out)))
        return fail(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), out.errorString()));
    try {
        QString refused;
        if (!write(out, selection, format, count, &refused)) {
            out.cancelWriting();
            return fail(!refused.isEmpty() ? refused
                                           : QStringLiteral("无法写入文件 %1：%2")
                                                 .arg(QDir::toNativeSeparators(path), out.errorString()));
        }
        if (!out.commit())
            return fail(QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), out.errorString()));
    } catch (const std::exception& e) {
        return readFailure(e);
    }
    return true;
}

ExportFormat Exporter::formatFor(const QString& path, VCardVersion version, bool csvGbk) {
    if (QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0)
        return csvGbk ? ExportFormat::CsvGbk : ExportFormat::CsvUtf8;
    return version == VCardVersion::V40 ? ExportFormat::VCard40 : ExportFormat::VCard30;
}

ExportFormat Exporter::formatFor(const QString& path, VCardVersion version, ExportFormat csvFormat) {
    if (QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0)
        return isCsv(csvFormat) ? csvFormat : ExportFormat::CsvUtf8;
    return version == VCardVersion::V40 ? ExportFormat::VCard40 : ExportFormat::VCard30;
}
