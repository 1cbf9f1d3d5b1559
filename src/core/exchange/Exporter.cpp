#include "core/exchange/Exporter.h"

#include "core/exchange/ContactUid.h"
#include "core/exchange/Csv.h"
#include "core/exchange/PhotoBytes.h"
#include "core/store/KeptProperties.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

Exporter::Exporter(Store& store) : store_(store) {}

QByteArray Exporter::build(const ExportSelection& selection, ExportFormat format, int* count, QString* error) {
    QStringList keys;
    if (selection.kind == ExportSelection::Kind::Keys) {
        keys = selection.keys;
    } else {
        RowTable rows;
        // The tree's top node "root" stands for everybody.
        if (selection.kind == ExportSelection::Kind::Group && !keys::isRoot(selection.groupKey))
            store_.listByGroup(selection.groupKey, rows);
        else
            store_.listAll(rows);
        keys.reserve(rows.rowCount());
        for (int row = 0; row < rows.rowCount(); ++row)
            keys.append(rows.key(row));
    }
    QHash<QString, QString> groupNames;
    for (const GroupRow& group : store_.groups())
        groupNames.insert(group.key, group.name);

    const bool csv = isCsv(format);
    // The UID's file part is made on the first export, so that the cards can come back as updates.
    const QString filePart = ContactUid::filePart(store_, true);
    const bool haveKept = store_.keptTable().hasTable();

    std::vector<ExportCard> cards;
    std::vector<CsvContact> rows;
    for (const QString& key : keys) {
        std::optional<ContactFields> fields = store_.loadContact(key);
        if (!fields)
            continue; // deleted meanwhile
        const QString groupName = groupNames.value(fields->groupKey);
        std::vector<KeptProperty> kept;
        if (haveKept)
            kept = store_.keptTable().load(key);
        // A card that came with a UID keeps it; the others get this data file's own.
        QString uid = ContactUid::make(filePart, key);
        for (const KeptProperty& property : kept) {
            if (property.field == keptfield::Uid && !property.value.isEmpty()) {
                uid = property.value;
                break;
            }
        }
        if (csv) {
            rows.push_back({*fields, groupName, uid});
            continue;
        }
        ExportCard card;
        card.fields = *fields;
        card.groupName = groupName;
        card.uid = uid;
        card.kept = std::move(kept);
        if (!fields->photo.isEmpty() && QFileInfo(fields->photo).isFile()) {
            QFile photo(fields->photo);
            if (photo.open(QIODevice::ReadOnly)) {
                card.photoData = photo.readAll();
                card.photoExtension = photobytes::extensionFor(card.photoData, QFileInfo(fields->photo).suffix());
            }
        }
        cards.push_back(std::move(card));
    }
    if (count)
        *count = static_cast<int>(csv ? rows.size() : cards.size());
    switch (format) {
    case ExportFormat::CsvUtf8:
        return CsvFile::write(rows, CsvFile::Encoding::Utf8WithBom);
    case ExportFormat::CsvGbk: {
        const std::vector<size_t> bad = CsvFile::unencodable(rows, CsvFile::Encoding::Gbk);
        if (!bad.empty()) {
            QStringList names;
            for (size_t i = 0; i < bad.size() && i < 20; ++i)
                names.append(rows[bad[i]].fields.name.isEmpty() ? QStringLiteral("（无名）")
                                                                : rows[bad[i]].fields.name);
            if (bad.size() > 20)
                names.append(QStringLiteral("……另有 %1 个").arg(bad.size() - 20));
            if (error)
                *error = QStringLiteral(
                             "%1 个联系人含有 GBK 无法表示的字符：%2。请改用 GB18030 编码导出，它能写出所有字符。")
                             .arg(bad.size())
                             .arg(names.join(QStringLiteral("、")));
            if (count)
                *count = 0;
            return {};
        }
        return CsvFile::write(rows, CsvFile::Encoding::Gbk);
    }
    case ExportFormat::CsvGb18030:
        return CsvFile::write(rows, CsvFile::Encoding::Gb18030);
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
    QString refused;
    try {
        bytes = build(selection, format, count, &refused);
    } catch (const std::exception& e) {
        if (error)
            *error = QStringLiteral("读取数据文件失败：%1").arg(QString::fromUtf8(e.what()));
        return false;
    }
    if (!refused.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }
    return saveBytes(path, bytes, error);
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
