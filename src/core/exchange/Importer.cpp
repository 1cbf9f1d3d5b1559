#include "core/exchange/Importer.h"

#include "core/exchange/ContactUid.h"
#include "core/exchange/Csv.h"
#include "core/exchange/VCardReader.h"
#include "core/text/Keys.h"
#include "core/store/Store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

namespace {

const QString DefaultGroupName = QStringLiteral("未分组");
constexpr int ListedProblems = 50;

// Thrown to leave the transaction when the user cancels.
struct Cancelled {};

// The groups of the data file by name; the first group of a name wins, as in the tree's order.
class GroupFinder {
public:
    GroupFinder(Store& store, ImportSummary& summary) : store_(store), summary_(summary) {
        for (const GroupRow& row : store.groups()) {
            if (!byName_.contains(row.name))
                byName_.insert(row.name, row.key);
            nameOf_.insert(row.key, row.name);
            if (first_.isEmpty())
                first_ = row.key;
        }
    }
    bool exists(const QString& key) const { return nameOf_.contains(key); }
    QString nameOf(const QString& key) const { return nameOf_.value(key); }
    QString byName(const QString& name) {
        if (const auto found = byName_.constFind(name); found != byName_.constEnd())
            return *found;
        const QString key = store_.addGroup(name);
        byName_.insert(name, key);
        nameOf_.insert(key, name);
        summary_.createdGroups.append(name);
        return key;
    }
    QString fallback(const ImportOptions& options) {
        if (fallback_.isEmpty()) {
            if (exists(options.defaultGroupKey))
                fallback_ = options.defaultGroupKey;
            else if (!options.defaultGroupName.isEmpty())
                fallback_ = byName(options.defaultGroupName);
            else if (!first_.isEmpty())
                fallback_ = first_;
            else
                fallback_ = byName(DefaultGroupName);
        }
        return fallback_;
    }

private:
    Store& store_;
    ImportSummary& summary_;
    QHash<QString, QString> byName_, nameOf_;
    QString first_; // the first group the data file had before the import
    QString fallback_;
};

bool sameFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (path.isEmpty() || file.size() != bytes.size() || !file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == bytes;
}

// Saves an embedded photo under a name made from its bytes, so the same picture imported twice is one
// file. Returns the file's full path, or an empty text with the reason in `error`.
QString savePhoto(const QString& folder, const QByteArray& bytes, const QString& extension, QString* error) {
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(20)) + u'.' +
        extension;
    const QString path = QDir(folder).filePath(name);
    if (sameFileBytes(path, bytes))
        return path;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("无法建立照片文件夹 %1").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("无法保存照片 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return {};
    }
    return path;
}

QString problemLine(ImportBatch::Source source, const ImportProblem& p) {
    const QString where = source == ImportBatch::Source::Csv ? QStringLiteral("第 %1 行").arg(p.number)
                                                             : QStringLiteral("第 %1 张名片").arg(p.number);
    const QString who = p.name.isEmpty() ? QString() : QStringLiteral("（%1）").arg(p.name);
    return QStringLiteral("%1%2：%3").arg(where, who, p.reason);
}

// After a rollback nothing of the counts holds; only the file's shape stays.
ImportSummary fresh(const ImportSummary& old) {
    ImportSummary summary;
    summary.source = old.source;
    summary.total = old.total;
    return summary;
}

} // namespace

QString ImportSummary::text() const {
    QStringList lines;
    if (!failure.isEmpty()) {
        lines.append(QStringLiteral("没有导入任何联系人：%1").arg(failure));
        return lines.join(u'\n');
    }
    if (total == 0) {
        lines.append(QStringLiteral("文件中没有联系人。"));
        return lines.join(u'\n');
    }
    QString counts = QStringLiteral("共 %1 个联系人：导入 %2 个（新增 %3 个，更新 %4 个，未变 %5 个），跳过 %6 个。")
                         .arg(total)
                         .arg(imported())
                         .arg(added)
                         .arg(updated)
                         .arg(unchanged)
                         .arg(skipped.size());
    lines.append(counts);
    if (!createdGroups.isEmpty())
        lines.append(QStringLiteral("新建的分组：%1").arg(createdGroups.join(QStringLiteral("、"))));
    if (!skipped.empty()) {
        lines.append(QStringLiteral("跳过的联系人："));
        for (size_t i = 0; i < skipped.size() && i < ListedProblems; ++i)
            lines.append(QStringLiteral("  ") + problemLine(source, skipped[i]));
        if (skipped.size() > ListedProblems)
            lines.append(QStringLiteral("  ……另有 %1 个").arg(skipped.size() - ListedProblems));
    }
    if (!warnings.empty()) {
        lines.append(QStringLiteral("已导入，但有内容未能导入："));
        for (size_t i = 0; i < warnings.size() && i < ListedProblems; ++i)
            lines.append(QStringLiteral("  ") + problemLine(source, warnings[i]));
        if (warnings.size() > ListedProblems)
            lines.append(QStringLiteral("  ……另有 %1 条").arg(warnings.size() - ListedProblems));
    }
    return lines.join(u'\n');
}

Importer::Importer(Store& store, const QString& dataFilePath)
    : store_(store), photosFolder_(QFileInfo(dataFilePath).absoluteDir().filePath(QStringLiteral("photos"))) {}

ImportBatch Importer::readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ImportBatch batch;
        batch.error = QStringLiteral("无法打开文件 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
        return batch;
    }
    const QByteArray bytes = file.readAll();
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool vcard = suffix == u"vcf" || suffix == u"vcard" ||
                       (suffix != u"csv" && suffix != u"txt" && VCardReader::looksLikeVCard(bytes));
    return vcard ? VCardReader::read(bytes) : CsvFile::read(bytes);
}

ImportSummary Importer::runFile(const QString& path, const ImportOptions& options, const ImportProgress& progress) {
    return run(readFile(path), options, progress);
}

ImportSummary Importer::run(const ImportBatch& batch, const ImportOptions& options, const ImportProgress& progress) {
    ImportSummary summary;
    summary.source = batch.source;
    summary.total = static_cast<int>(batch.records.size());
    if (!batch.error.isEmpty()) {
        summary.failure = batch.error;
        return summary;
    }
    if (store_.isReadOnly()) {
        summary.failure = QStringLiteral("数据文件是只读的");
        return summary;
    }
    const int total = summary.total;
    const int step = std::max(1, total / 100);

    try {
        // Everything in one transaction: a failure or a cancel leaves the data file as it was.
        Transaction transaction = store_.transaction();
        GroupFinder groups(store_, summary);
        const QString filePart = ContactUid::filePart(store_, true);
        QHash<QString, QString> addedByUid; // a UID met twice in one file updates what it added

        for (int i = 0; i < total; ++i) {
            if (progress && i % step == 0 && !progress(i, total))
                throw Cancelled();
            const ImportRecord& record = batch.records[static_cast<size_t>(i)];
            if (!record.ok()) {
                summary.skipped.push_back({record.number, record.fields.name, record.error});
                continue;
            }
            ContactFields fields = record.fields;

            QString key = ContactUid::contactKeyOf(filePart, record.uid);
            if (key.isEmpty() && !record.uid.isEmpty())
                key = addedByUid.value(record.uid);
            std::optional<ContactFields> existing;
            if (!key.isEmpty())
                existing = store_.loadContact(key);

            if (!record.groupName.isEmpty()) {
                // A contact already in a group of that name stays there (two groups may share a name).
                fields.groupKey = existing && groups.nameOf(existing->groupKey) == record.groupName
                                      ? existing->groupKey
                                      : groups.byName(record.groupName);
            } else if (existing && groups.exists(existing->groupKey)) {
                fields.groupKey = existing->groupKey;
            } else {
                fields.groupKey = groups.fallback(options);
            }

            if (!record.photoData.isEmpty()) {
                if (existing && sameFileBytes(existing->photo, record.photoData)) {
                    fields.photo = existing->photo;
                } else {
                    QString error;
                    fields.photo = savePhoto(photosFolder_, record.photoData, record.photoExtension, &error);
                    if (fields.photo.isEmpty())
                        summary.warnings.push_back({record.number, fields.name, error});
                }
            }
            for (const QString& warning : record.warnings)
                summary.warnings.push_back({record.number, fields.name, warning});

            if (existing) {
                if (*existing == fields) {
                    ++summary.unchanged;
                } else {
                    store_.updateContact(key, fields);
                    ++summary.updated;
                }
            } else {
                const QString added = store_.addContact(fields);
                if (!record.uid.isEmpty())
                    addedByUid.insert(record.uid, added);
                ++summary.added;
            }
        }
        transaction.commit();
    } catch (const Cancelled&) {
        summary = fresh(summary);
        summary.cancelled = true;
        summary.failure = QStringLiteral("导入已取消");
        return summary;
    } catch (const std::exception& e) {
        summary = fresh(summary);
        summary.failure = QStringLiteral("写入数据文件失败：%1").arg(QString::fromUtf8(e.what()));
        return summary;
    }
    if (progress)
        progress(total, total);
    return summary;
}
