#include "core/exchange/Exporter.h"

#include "core/exchange/ContactUid.h"
#include "core/exchange/Csv.h"
#include "core/exchange/PhotoBytes.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

Exporter::Exporter(Store& store) : store_(store) {}

QByteArray Exporter::build(const ExportSelection& selection, ExportFormat format, int* count) {
    QHash<QString, QString> groupNames;
    for (const GroupRow& group : store_.groups())
        groupNames.insert(group.key, group.name);

    const bool csv = format == ExportFormat::CsvUtf8 || format == ExportFormat::CsvGbk;
    // The UID's file part is made on the first export, so that the cards can come back as updates.
    const QString filePart = csv ? QString() : ContactUid::filePart(store_, true);

    std::vector<ExportCard> cards;
    std::vector<CsvContact> rows;
    auto take = [&](const QString& key, ContactFields& fields) {
        const QString groupName = groupNames.value(fields.groupKey);
        if (csv) {
            rows.push_back({std::move(fields), groupName});
            return;
        }
        ExportCard card;
        card.fields = std::move(fields);
        card.groupName = groupName;
        card.uid = ContactUid::make(filePart, key);
        const QString& photoPath = card.fields.photo;
        if (!photoPath.isEmpty() && QFileInfo(photoPath).isFile()) {
            QFile photo(photoPath);
            if (photo.open(QIODevice::ReadOnly)) {
                card.photoData = photo.readAll();
                card.photoExtension = photobytes::extensionFor(card.photoData, QFileInfo(photoPath).suffix());
            }
        }
        cards.push_back(std::move(card));
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
    if (count)
        *count = static_cast<int>(csv ? rows.size() : cards.size());
    switch (format) {
    case ExportFormat::CsvUtf8:
        return CsvFile::write(rows, CsvFile::Encoding::Utf8WithBom);
    case ExportFormat::CsvGbk:
        return CsvFile::write(rows, CsvFile::Encoding::Gbk);
    case ExportFormat::VCard40:
        return VCardWriter::write(cards, VCardVersion::V40);
    case ExportFormat::VCard30:
        break;
    }
    return VCardWriter::write(cards, VCardVersion::V30);
}

bool Exporter::saveBytes(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

bool Exporter::exportToFile(const QString& path, const ExportSelection& selection, ExportFormat format, int* count,
                            QString* error) {
    QByteArray bytes;
    try {
        bytes = build(selection, format, count);
    } catch (const std::exception& e) {
        if (error)
            *error = QStringLiteral("读取数据文件失败：%1").arg(QString::fromUtf8(e.what()));
        return false;
    }
    return saveBytes(path, bytes, error);
}

ExportFormat Exporter::formatFor(const QString& path, VCardVersion version, bool csvGbk) {
    if (QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0)
        return csvGbk ? ExportFormat::CsvGbk : ExportFormat::CsvUtf8;
    return version == VCardVersion::V40 ? ExportFormat::VCard40 : ExportFormat::VCard30;
}
