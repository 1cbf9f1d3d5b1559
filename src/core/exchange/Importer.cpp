#include "core/exchange/Importer.h"
#include "core/text/FileErrors.h"

#include "core/exchange/Csv.h"
#include "core/exchange/PhotoFolder.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/GroupNames.h"
#include "core/store/KeptProperties.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"
#include "core/store/SamePerson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <stdexcept>

namespace {

// A person as they are, with the empty fields filled from a card of theirs.
ContactFields completedWith(const ContactFields& person, const ContactFields& card) {
    ContactFields completed = person;
    if (!completed.birthday)
        completed.birthday = card.birthday;
    for (const catalogue::FieldInfo* field : catalogue::texts()) {
        if ((completed.*field->text).isEmpty())
            completed.*field->text = card.*field->text;
    }
    joinValues(completed.values, card.values);
    return completed;
}

const QString DefaultGroupName = QStringLiteral("未分组");
constexpr int ListedProblems = 50;

// Thrown to leave the transaction when the user cancels.
struct Cancelled {};

// The groups of the data file by name, and the group of the cards that name none.
class GroupFinder {
public:
    GroupFinder(Store& store, ImportSummary& summary) : names_(store), summary_(summary), first_(names_.first()) {}
    bool exists(const QString& key) const { return names_.exists(key); }
    QString nameOf(const QString& key) const { return names_.nameOf(key); }
    QString byName(const QString& name) {
        bool created = false;
        const QString key = names_.keyFor(name, &created);
        if (created)
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
    GroupNames names_;
    ImportSummary& summary_;
    QString first_; // the first group the data file had before the import
    QString fallback_;
};

// A field of a person, as the summary names it and as a card's kept properties name it.
struct FieldOfPerson {
    QString label;
    QString kept; // keptfield::...
    QString ContactFields::*member;
    // The typed value another value of the field becomes beside the person's own (a second mobile),
    // and its label; none for fields whose other values are kept as the card wrote them.
    std::optional<catalogue::Field> beside = std::nullopt;
    const char16_t* besideLabel = u"";
};

// Numbers and addresses compared as the same-person rule compares them; other texts as they are.
bool sameValue(QString ContactFields::*member, const QString& a, const QString& b) {
    if (member == &ContactFields::mobile || member == &ContactFields::workPhone ||
        member == &ContactFields::homePhone || member == &ContactFields::fax)
    {
        const QString digitsA = numberDigits(a), digitsB = numberDigits(b);
        return digitsA.isEmpty() && digitsB.isEmpty() ? a.trimmed() == b.trimmed() : digitsA == digitsB;
    }
    if (member == &ContactFields::email)
        return emailKey(a) == emailKey(b);
    return a.trimmed() == b.trimmed();
}

const std::vector<FieldOfPerson>& fieldsOfPerson() {
    static const std::vector<FieldOfPerson> fields = {
        {QStringLiteral("移动电话"), keptfield::Mobile, &ContactFields::mobile, catalogue::Field::Phone, u"手机"},
        {QStringLiteral("工作电话"), keptfield::Work, &ContactFields::workPhone, catalogue::Field::Phone, u"工作"},
        {QStringLiteral("家庭电话"), keptfield::Home, &ContactFields::homePhone, catalogue::Field::Phone, u"家庭"},
        {QStringLiteral("传真号码"), keptfield::Fax, &ContactFields::fax, catalogue::Field::Phone, u"传真"},
        {QStringLiteral("地址"), keptfield::Address, &ContactFields::address},
        {QStringLiteral("邮政编码"), keptfield::Address, &ContactFields::postcode},
        {QStringLiteral("QQ"), keptfield::Qq, &ContactFields::qq},
        {QStringLiteral("ICQ"), keptfield::Icq, &ContactFields::icq},
        {QStringLiteral("MSN"), keptfield::Msn, &ContactFields::msn},
        {QStringLiteral("电子邮件"), keptfield::Email, &ContactFields::email, catalogue::Field::OtherEmail, u"其他"},
        {QStringLiteral("昵称"), keptfield::Nickname, &ContactFields::nickname},
        {QStringLiteral("备注"), keptfield::Remarks, &ContactFields::remarks},
        {QStringLiteral("照片"), keptfield::Photo, &ContactFields::photo},
    };
    return fields;
}

// What changed of a person, as the summary names it.
QStringList changedFields(const ContactFields& before, const ContactFields& after, bool keptChanged) {
    QStringList changed;
    if (before.name != after.name)
        changed << QStringLiteral("姓名");
    if (before.birthday != after.birthday)
        changed << QStringLiteral("生日");
    if (before.lunarBirthday != after.lunarBirthday)
        changed << QStringLiteral("农历生日");
    for (const FieldOfPerson& field : fieldsOfPerson()) {
        if (before.*field.member != after.*field.member)
            changed << field.label;
    }
    for (const TypedValue& value : after.values) {
        const QString label = QString::fromUtf16(catalogue::info(value.field).label);
        if (std::find(before.values.begin(), before.values.end(), value) == before.values.end() &&
            !changed.contains(label))
            changed << label;
    }
    if (before.groupKey != after.groupKey)
        changed << QStringLiteral("分组");
    if (keptChanged)
        changed << QStringLiteral("其它资料");
    return changed;
}

// The card's values that the person it completes has otherwise (another office number, a second
// address): the person keeps theirs, and the card's are kept beside them as the card wrote them,
// so that nothing of the card is lost and nothing of it replaces what the person has.
std::vector<KeptProperty> valuesBeside(const ImportRecord& record, const ContactFields& person,
                                       const ContactFields& card, std::vector<TypedValue>& typed) {
    QStringList fieldsBeside;
    for (const FieldOfPerson& field : fieldsOfPerson()) {
        const QString &theirs = person.*field.member, &ours = card.*field.member;
        if (field.member == &ContactFields::photo || theirs.isEmpty() || ours.isEmpty() ||
            sameValue(field.member, theirs, ours))
            continue;
        if (field.beside) {
            // The card's line comes back as it was while the value is not edited.
            QString line;
            for (const KeptProperty& kept : record.kept) {
                if (kept.field == field.kept && line.isEmpty())
                    line = kept.line;
            }
            const bool oneValue = std::count_if(record.kept.begin(), record.kept.end(), [&](const KeptProperty& k) {
                                      return k.field == field.kept;
                                  }) == 1;
            typed.push_back({*field.beside, QString::fromUtf16(field.besideLabel), ours, oneValue ? line : QString()});
        } else if (!fieldsBeside.contains(field.kept)) {
            fieldsBeside << field.kept;
        }
    }
    std::vector<KeptProperty> rows;
    for (const QString& field : fieldsBeside) {
        QStringList lines;
        for (const KeptProperty& kept : record.kept) {
            if (kept.field == field)
                lines << kept.line;
        }
        if (lines.isEmpty()) {
            ExportCard written;
            written.fields = card;
            lines = VCardWriter::fieldLines(field, written, VCardVersion::V30);
        }
        for (const QString& line : std::as_const(lines))
            rows.push_back({QString(), line, QString()});
    }
    return rows;
}

bool sameFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (path.isEmpty() || file.size() != bytes.size() || !file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == bytes;
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
    summary.assumedEncoding = old.assumedEncoding;
    summary.layout = old.layout;
    return summary;
}

// A picture named by a CSV file is taken only when it is already one of the data file's own photos
// (a CSV this program wrote): any other path may name anything on this computer and is never read.
QString ownPhoto(const QString& photosFolder, const QString& reference) {
    const QFileInfo file(reference);
    const QString folder = QFileInfo(photosFolder).canonicalFilePath();
    if (reference.isEmpty() || folder.isEmpty() || !file.isAbsolute() || !file.isFile())
        return {};
    const QFileInfo canonical(file.canonicalFilePath());
    return canonical.absolutePath() == folder ? canonical.filePath() : QString();
}

const QString CsvPhotoPath = QStringLiteral("X-ZINTEVA-PHOTO-PATH:");

// A UID as a group's card names its members: without urn:uuid:, in lower case (Apple writes a
// member's UUID in capitals where the member's card has it in small letters, or the other way).
QString memberUid(const QString& uid) {
    const QString bare = uid.startsWith(u"urn:uuid:", Qt::CaseInsensitive) ? uid.mid(9) : uid;
    return bare.toLower();
}

// What the writer puts before a picture file's data, as the reader keeps it.
QString photoHeader(const QString& photo) {
    const QString type = photobytes::vcard30TypeFor(QFileInfo(photo).suffix());
    return type.isEmpty() ? QStringLiteral("PHOTO") : QStringLiteral("PHOTO;TYPE=") + type;
}

// The kept properties as they are stored: each one read into a field remembers the field's value,
// and those the writer would make again from the fields exactly as they were are left out.
std::vector<KeptProperty> keptRows(const ImportRecord& record, const ContactFields& fields, const QString& groupName,
                                   bool ownUid, const QStringList& dropLines) {
    ExportCard card;
    card.fields = fields;
    card.groupName = groupName;
    card.uid = record.uid;
    QHash<QString, QStringList> sources;
    for (const KeptProperty& kept : record.kept) {
        if (!kept.field.isEmpty())
            sources[kept.field].append(kept.line);
    }
    std::vector<KeptProperty> rows;
    for (const KeptProperty& kept : record.kept) {
        KeptProperty row = kept;
        if (row.field.isEmpty() &&
            (dropLines.contains(row.line) || (dropLines.contains(CsvPhotoPath) && row.line.startsWith(CsvPhotoPath))))
            continue; // it stands for the contact's photo, which the contact keeps
        if (row.field == keptfield::Photo &&
            (row.line == photoHeader(fields.photo) || (record.version4 && record.ownCard && row.line == u"PHOTO")))
            continue; // the writer makes the same from the picture file
        if (!row.field.isEmpty()) {
            if (row.field == keptfield::Uid) {
                if (ownUid)
                    continue;
                row.value = record.uid;
            } else {
                if (row.field != keptfield::Photo &&
                    (sources.value(row.field) == VCardWriter::fieldLines(row.field, card, VCardVersion::V30) ||
                     (record.version4 && record.ownCard &&
                      sources.value(row.field) == VCardWriter::fieldLines(row.field, card, VCardVersion::V40))))
                    continue;
                row.value = VCardWriter::fieldValue(row.field, fields, groupName);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

void ImportSummary::countUpdate(const QString& field) {
    for (auto& [name, count] : updatedFields) {
        if (name == field) {
            ++count;
            return;
        }
    }
    updatedFields.emplace_back(field, 1);
}

QString ImportSummary::text() const {
    QStringList lines;
    if (!failure.isEmpty()) {
        lines.append(QStringLiteral("没有导入任何联系人：%1").arg(failure));
        return lines.join(u'\n');
    }
    if (!layout.isEmpty())
        lines.append(QStringLiteral("按 %1 的栏目读取。").arg(layout));
    if (!assumedEncoding.isEmpty())
        lines.append(QStringLiteral("文件中未注明编码的文字按 %1 读取。").arg(assumedEncoding));
    if (total == 0) {
        lines.append(QStringLiteral("文件中没有联系人。"));
        return lines.join(u'\n');
    }
    QString counts = QStringLiteral("共 %1 个联系人：导入 %2 个（新增 %3 个，更新 %4 个，未变 %5 个），跳过 %6 个。")
                         .arg(people())
                         .arg(imported())
                         .arg(added)
                         .arg(updated)
                         .arg(unchanged)
                         .arg(skipped.size());
    lines.append(counts);
    if (photosNotSaved > 0)
        lines.append(QStringLiteral("有 %1 张照片没有保存，导入不完整。").arg(photosNotSaved));
    if (!updatedFields.empty()) {
        QStringList fields;
        for (const auto& [name, count] : updatedFields)
            fields << QStringLiteral("%1 %2 个").arg(name).arg(count);
        lines.append(QStringLiteral("更新的资料：%1。").arg(fields.join(QStringLiteral("，"))));
    }
    if (samePeople > 0) {
        // Says only what was done: filled, kept beside, or neither.
        QString line = QStringLiteral("有 %1 个联系人按姓名和手机号码或电子邮件认出是已有的联系人，没有重复添加")
                           .arg(samePeople);
        if (samePeopleFilled > 0)
            line += QStringLiteral("；其中 %1 个补充了缺少的资料").arg(samePeopleFilled);
        if (samePeopleBeside > 0)
            line += QStringLiteral("；%1 个的不同号码和资料另存在其“其它资料”中").arg(samePeopleBeside);
        lines.append(line + QStringLiteral("。"));
    }
    if (possibleDuplicates > 0)
        lines.append(QStringLiteral("新增的联系人中有 %1 个与已有的联系人同名，但不能确定是同一个人，已分别保存；"
                                    "如是同一个人，请用“查询 ▸ 查找重复”合并。")
                         .arg(possibleDuplicates));
    if (keptProperties > 0)
        lines.append(QStringLiteral("另有 %1 项资料没有对应的栏目，已保存在各联系人的“其它资料”中，导出时一并写出。")
                         .arg(keptProperties));
    if (!unknownColumns.isEmpty())
        lines.append(QStringLiteral("这些栏目不认识，其内容原样保存在各联系人的“其它资料”中：%1。")
                         .arg(unknownColumns.join(QStringLiteral("、"))));
    if (!groupCards.empty()) {
        QStringList groups;
        for (const auto& [name, members] : groupCards)
            groups << QStringLiteral("%1（%2 人）").arg(name).arg(members);
        lines.append(QStringLiteral("另有 %1 张分组名片，已作为分组读取，成员放入其中：%2。")
                         .arg(groupCards.size())
                         .arg(groups.join(QStringLiteral("、"))));
    }
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
    : store_(store), photosFolder_(photofolder::folderFor(dataFilePath)) {}

ImportBatch Importer::readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ImportBatch batch;
        batch.error = QStringLiteral("无法打开文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
        return batch;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool vcard = suffix == u"vcf" || suffix == u"vcard" ||
                       (suffix != u"csv" && suffix != u"txt" && VCardReader::looksLikeVCard(file.peek(4096)));
    if (vcard)
        return VCardReader::read(file.readAll());
    // The records are held, the file's bytes and text are not.
    ImportBatch batch;
    batch.source = ImportBatch::Source::Csv;
    CsvReader reader(file);
    batch.error = reader.error();
    batch.assumedEncoding = reader.assumedEncoding();
    batch.layout = reader.layout();
    if (!reader.readRecords([&](ImportRecord&& record) { batch.records.push_back(std::move(record)); })) {
        batch.records.clear();
        batch.error = QStringLiteral("无法读取文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
    }
    batch.unknownColumns = reader.unknownColumns();
    return batch;
}

std::optional<int> Importer::countFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
        return std::nullopt;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"vcf" || suffix == u"vcard" ||
        (suffix != u"csv" && suffix != u"txt" && VCardReader::looksLikeVCard(file.peek(4096))))
        return VCardReader::countCards(file);
    CsvReader reader(file);
    if (!reader.error().isEmpty()) {
        *error = reader.error();
        return std::nullopt;
    }
    return reader.countRecords();
}

ImportSummary Importer::runFile(const QString& path, const ImportOptions& options, const ImportProgress& progress) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return run(readFile(path), options, progress); // says why it cannot be read
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool vcard = suffix == u"vcf" || suffix == u"vcard" ||
                       (suffix != u"csv" && suffix != u"txt" && VCardReader::looksLikeVCard(file.peek(4096)));
    // A regular file is read card by card (row by row) while it is written into the data file: neither
    // the file nor its cards are held whole.
    if (!QFileInfo(path).isFile())
        return run(readFile(path), options, progress);
    if (!vcard) {
        CsvReader reader(file);
        if (!reader.error().isEmpty()) {
            ImportBatch batch;
            batch.source = ImportBatch::Source::Csv;
            batch.error = reader.error();
            return run(batch, options, progress);
        }
        const int expected = progress ? reader.countRecords() : 0;
        bool readFailed = false;
        ImportSummary summary = runRecords(
            ImportBatch::Source::Csv, expected,
            [&](const RecordSink& each) {
                readFailed = !reader.readRecords([&](ImportRecord&& record) { each(record); });
                if (readFailed)
                    throw std::runtime_error("read");
            },
            options, progress);
        if (readFailed)
            summary.failure =
                QStringLiteral("无法读取文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
        summary.assumedEncoding = reader.assumedEncoding();
        summary.layout = reader.layout();
        if (summary.failure.isEmpty())
            summary.unknownColumns = reader.unknownColumns();
        return summary;
    }
    const int expected = progress ? VCardReader::countCards(file) : 0;
    if (!file.seek(0))
        return run(readFile(path), options, progress);
    ImportBatch read;
    ImportSummary summary = runRecords(
        ImportBatch::Source::VCard, expected,
        [&](const RecordSink& each) {
            read = VCardReader::read(file, [&](ImportRecord&& record) { each(record); });
            if (!read.error.isEmpty())
                throw std::runtime_error("read");
        },
        options, progress);
    if (!read.error.isEmpty())
        summary.failure =
            QStringLiteral("无法读取文件 %1：%2").arg(QDir::toNativeSeparators(path), chineseFileError(file));
    summary.assumedEncoding = read.assumedEncoding;
    return summary;
}

ImportSummary Importer::run(const ImportBatch& batch, const ImportOptions& options, const ImportProgress& progress) {
    if (!batch.error.isEmpty()) {
        ImportSummary summary;
        summary.source = batch.source;
        summary.total = static_cast<int>(batch.records.size());
        summary.failure = batch.error;
        return summary;
    }
    ImportSummary summary = runRecords(
        batch.source, static_cast<int>(batch.records.size()),
        [&](const RecordSink& each) {
            for (const ImportRecord& record : batch.records)
                each(record);
        },
        options, progress);
    summary.assumedEncoding = batch.assumedEncoding;
    summary.layout = batch.layout;
    if (summary.failure.isEmpty())
        summary.unknownColumns = batch.unknownColumns;
    return summary;
}

ImportSummary Importer::runRecords(ImportBatch::Source source, int expected, const RecordFeed& feed,
                                   const ImportOptions& options, const ImportProgress& progress) {
    ImportSummary summary;
    summary.source = source;
    summary.total = expected;
    if (store_.isReadOnly()) {
        summary.failure = QStringLiteral("数据文件是只读的");
        return summary;
    }
    const int total = expected;
    const int step = std::max(1, total / 100);

    try {
        // Everything in one transaction: a failure or a cancel leaves the data file as it was.
        Transaction transaction = store_.transaction();
        GroupFinder groups(store_, summary);
        // Pictures wait in a staging folder until the contacts that name them are committed.
        photofolder::Staging photos(photosFolder_);
        // A file opened for writing has the table of kept properties (the schema owner makes it).
        const bool keptTable = store_.keptTable().hasTable();
        auto writeKept = [&](const QString& contactKey, const std::vector<KeptProperty>& rows) {
            if (keptTable || !rows.empty())
                store_.keptTable().replace(contactKey, rows);
        };
        SamePersonFinder samePeople(store_);
        QSet<QString> touched;          // the people this import added or matched
        QHash<QString, int> uidSeen;    // how often each UID came so far in this file
        QHash<QString, int> uidFirstAt; // and on which card first
        // The people of this import by their card's UID (memberUid), for the groups' cards.
        QHash<QString, QString> keyOfUid;
        enum class Outcome { Added, Updated, Unchanged };
        QHash<QString, Outcome> outcomeOf;
        QHash<QString, QString> cardGroupOf; // the group a person's card of this import named
        std::vector<ImportRecord> groupCards;

        int done = 0;
        feed([&](const ImportRecord& record) {
            if (progress && done % step == 0 && !progress(done, std::max(total, done)))
                throw Cancelled();
            ++done;
            if (!record.ok()) {
                summary.skipped.push_back({record.number, record.fields.name, record.error});
                return;
            }
            if (record.groupCard) {
                // Its members may come after it: the groups are filled once every person is in.
                groupCards.push_back(record);
                return;
            }
            ContactFields fields = record.fields;

            // A card finds the person whose own UID it carries (one this data file wrote, or the card
            // a person was first made from), then those it came in with before. Two cards with one UID
            // in a file are two people: the n-th card of a UID goes to the n-th of these.
            QString key;
            bool uidNew = false; // no person and no card before this one came with it
            if (!record.uid.isEmpty()) {
                const int seen = uidSeen.value(record.uid);
                const QString holder = store_.uids().contactOf(record.uid);
                if (seen == 0 && !holder.isEmpty()) {
                    key = holder;
                } else {
                    QStringList candidates = store_.keptTable().contactsWithUid(record.uid);
                    if (!holder.isEmpty()) {
                        candidates.removeAll(holder);
                        candidates.prepend(holder);
                    }
                    key = candidates.value(seen);
                    uidNew = seen == 0 && candidates.isEmpty();
                }
            }
            std::optional<ContactFields> existing;
            if (!key.isEmpty())
                existing = store_.loadContact(key);
            if (!record.uid.isEmpty()) {
                if (const int seen = uidSeen.value(record.uid); seen > 0)
                    summary.warnings.push_back(
                        {record.number, fields.name,
                         QStringLiteral("与第 %1 张名片的 UID 相同，两张都已导入").arg(uidFirstAt.value(record.uid))});
                else
                    uidFirstAt.insert(record.uid, record.number);
                uidSeen[record.uid] += 1;
            }
            // No UID found the person: one already in the data file of this name is the card's person
            // only by what belongs to one person (store/SamePerson.h); else the card is somebody new.
            // Each person is matched once per import (two such cards are two people).
            bool samePersonMatch = false;
            bool possibleDuplicate = false;
            if (!existing) {
                SamePersonFinder::Found found =
                    samePeople.find(fields, [&](const QString& candidate) { return touched.contains(candidate); });
                if (!found.key.isEmpty()) {
                    key = found.key;
                    existing = std::move(found.person);
                    samePersonMatch = true;
                }
                possibleDuplicate = found.possibleDuplicate;
            }
            if (!existing)
                key.clear();

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

            if (!record.photoData.isEmpty() && !(samePersonMatch && !existing->photo.isEmpty())) {
                if (existing && sameFileBytes(existing->photo, record.photoData)) {
                    fields.photo = existing->photo;
                } else {
                    QString error;
                    fields.photo = photos.save(record.photoData, record.photoExtension, &error);
                    if (fields.photo.isEmpty()) {
                        summary.warnings.push_back({record.number, fields.name, error});
                        ++summary.photosNotSaved;
                    }
                }
            } else if (!record.photoReference.isEmpty()) {
                fields.photo = ownPhoto(photosFolder_, record.photoReference);
                if (fields.photo.isEmpty())
                    summary.warnings.push_back(
                        {record.number, fields.name,
                         QStringLiteral("照片 %1 不在数据文件的照片文件夹中，没有读取，已保存在其它资料中")
                             .arg(QDir::toNativeSeparators(record.photoReference.left(200)))});
            }
            QStringList dropLines;
            if (!record.photoReference.isEmpty() && !fields.photo.isEmpty())
                dropLines.append(CsvPhotoPath); // every line of the CSV's 照片 column
            // A card this program wrote for a contact whose picture file is gone names the picture by
            // its path: the contact keeps the path it has (nothing is read).
            bool keptOwnPhoto = false;
            if (existing && record.photoData.isEmpty() && record.photoReference.isEmpty() &&
                !existing->photo.isEmpty()) {
                ExportCard probe;
                probe.fields.photo = existing->photo;
                const QStringList own = VCardWriter::fieldLines(keptfield::Photo, probe, VCardVersion::V30) +
                                        VCardWriter::fieldLines(keptfield::Photo, probe, VCardVersion::V40);
                for (const KeptProperty& kept : record.kept) {
                    if (kept.field.isEmpty() && own.contains(kept.line)) {
                        fields.photo = existing->photo;
                        dropLines.append(kept.line);
                        keptOwnPhoto = true;
                    }
                }
            }
            for (const QString& warning : record.warnings) {
                if (!(keptOwnPhoto && warning.startsWith(QStringLiteral("照片是一个地址"))))
                    summary.warnings.push_back({record.number, fields.name, warning});
            }

            const QString groupName = groups.nameOf(fields.groupKey);
            std::vector<KeptProperty> kept;
            std::vector<KeptProperty> keptBefore;
            if (existing)
                keptBefore = keptTable ? store_.keptTable().load(key) : std::vector<KeptProperty>();
            int newKept = 0; // properties of this card kept without a column
            if (existing && samePersonMatch) {
                // What the person has stays; the card fills what is empty, and its other values and
                // what has no column are kept beside the person's.
                const ContactFields card = fields;
                fields = completedWith(*existing, card);
                ContactFields filledOnly = fields;
                filledOnly.groupKey = existing->groupKey;
                if (filledOnly != *existing)
                    ++summary.samePeopleFilled;
                kept = keptBefore;
                std::vector<KeptProperty> rows = keptRows(record, fields, groupName, false, dropLines);
                std::vector<TypedValue> typedBeside;
                std::vector<KeptProperty> beside = valuesBeside(record, *existing, card, typedBeside);
                bool besideNew = false;
                for (KeptProperty& row : beside) {
                    besideNew = besideNew || std::find(kept.begin(), kept.end(), row) == kept.end();
                    rows.push_back(std::move(row));
                }
                for (const TypedValue& value : typedBeside) {
                    besideNew = besideNew || std::none_of(fields.values.begin(), fields.values.end(),
                                                          [&](const TypedValue& had) { return sameTypedValue(had, value); });
                }
                joinValues(fields.values, typedBeside);
                if (besideNew)
                    ++summary.samePeopleBeside;
                for (const KeptProperty& row : rows) {
                    if (row.field.isEmpty() && std::find(kept.begin(), kept.end(), row) == kept.end()) {
                        kept.push_back(row);
                        ++newKept;
                    }
                }
                ++summary.samePeople;
            } else if (existing) {
                kept = keptRows(record, fields, groupName,
                                !record.uid.isEmpty() && store_.uids().contactOf(record.uid) == key, dropLines);
            }
            if (existing) {
                if (*existing == fields && keptBefore == kept) {
                    ++summary.unchanged;
                    outcomeOf.insert(key, Outcome::Unchanged);
                } else {
                    outcomeOf.insert(key, Outcome::Updated);
                    store_.updateContact(key, fields);
                    writeKept(key, kept);
                    samePeople.written(existing, fields);
                    ++summary.updated;
                    for (const QString& label : changedFields(*existing, fields, keptBefore != kept))
                        summary.countUpdate(label);
                }
            } else {
                // The card's UID becomes the new person's own when nobody holds it: kept beside the
                // person, every UID would be stored and indexed twice.
                key = store_.addContact(fields, uidNew ? record.uid : QString());
                kept = keptRows(record, fields, groupName,
                                !record.uid.isEmpty() && store_.uids().contactOf(record.uid) == key, dropLines);
                if (!kept.empty())
                    writeKept(key, kept);
                samePeople.written(std::nullopt, fields);
                ++summary.added;
                outcomeOf.insert(key, Outcome::Added);
                if (possibleDuplicate)
                    ++summary.possibleDuplicates;
            }
            touched.insert(key);
            if (!record.uid.isEmpty() && !keyOfUid.contains(memberUid(record.uid)))
                keyOfUid.insert(memberUid(record.uid), key);
            if (!record.groupName.isEmpty())
                cardGroupOf.insert(key, record.groupName);
            if (!samePersonMatch) {
                for (const KeptProperty& row : kept) {
                    if (row.field.isEmpty())
                        ++newKept;
                }
            }
            summary.keptProperties += newKept;
        });
        // Each group's card: its group (found or made by name) takes the members the file or the data
        // file has, by their UID. A person is in one group: the first group's card that names them.
        QSet<QString> placed;
        for (const ImportRecord& group : groupCards) {
            const QString groupKey = groups.byName(group.groupName);
            int found = 0, missing = 0, elsewhere = 0;
            for (const QString& member : group.members) {
                QString key = keyOfUid.value(memberUid(member));
                for (const QString& uid : {member, QStringLiteral("urn:uuid:") + member}) {
                    if (key.isEmpty())
                        key = store_.uids().contactOf(uid);
                    if (key.isEmpty())
                        key = store_.keptTable().contactsWithUid(uid).value(0);
                }
                std::optional<ContactFields> person;
                if (!key.isEmpty())
                    person = store_.loadContact(key);
                if (!person) {
                    ++missing;
                    continue;
                }
                if (placed.contains(key)) {
                    ++elsewhere;
                    continue;
                }
                placed.insert(key);
                ++found;
                if (person->groupKey == groupKey)
                    continue;
                ContactFields moved = *person;
                moved.groupKey = groupKey;
                store_.updateContact(key, moved);
                // The category the person's own card named stays with them, written back on export.
                if (const QString named = cardGroupOf.value(key); !named.isEmpty() && named != group.groupName) {
                    std::vector<KeptProperty> rows = keptTable ? store_.keptTable().load(key)
                                                               : std::vector<KeptProperty>();
                    const KeptProperty category{QString(), QStringLiteral("CATEGORIES:") + VCardWriter::escapedText(named),
                                                QString()};
                    if (std::find(rows.begin(), rows.end(), category) == rows.end()) {
                        rows.push_back(category);
                        store_.keptTable().replace(key, rows);
                        ++summary.keptProperties;
                    }
                }
                samePeople.written(person, moved);
                // A person of the file that came in unchanged is updated now; one of the data file
                // alone is counted by the group's card, not among the file's people.
                const Outcome outcome = outcomeOf.value(key, Outcome::Updated);
                if (outcome == Outcome::Unchanged) {
                    --summary.unchanged;
                    ++summary.updated;
                    outcomeOf.insert(key, Outcome::Updated);
                }
                if (outcome != Outcome::Added)
                    summary.countUpdate(QStringLiteral("分组"));
            }
            summary.groupCards.emplace_back(group.groupName, found);
            if (missing > 0)
                summary.warnings.push_back(
                    {group.number, group.groupName,
                     QStringLiteral("分组名片的 %1 个成员在文件和数据文件中都没有找到").arg(missing)});
            if (elsewhere > 0)
                summary.warnings.push_back(
                    {group.number, group.groupName,
                     QStringLiteral("%1 个成员已在前面的分组名片中，留在那个分组").arg(elsewhere)});
        }
        summary.total = done;
        transaction.commit();
        photos.publish(); // what cannot be moved in now is moved in at the next start
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
