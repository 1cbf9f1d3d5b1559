#include "core/exchange/Csv.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/TextDecoding.h"

#include <QHash>
#include <QStringEncoder>

namespace {

enum Column {
    Name,
    Birthday,
    Mobile,
    Work,
    Home,
    Fax,
    Address,
    Postcode,
    Qq,
    Icq,
    Msn,
    Email,
    Nickname,
    Remarks,
    Group,
    Photo,
    ColumnCount
};

const char16_t* const Titles[ColumnCount] = {u"姓名", u"生日",     u"移动电话", u"工作电话", u"家庭电话", u"传真号码",
                                             u"地址", u"邮政编码", u"QQ号码",   u"ICQ号码",  u"MSN",      u"邮件地址",
                                             u"昵称", u"备注",     u"分组",     u"照片"};

// Other titles that mean the same column (the record form's labels, and what common address books
// write), compared without case and blanks.
const QHash<QString, int>& titleIndex() {
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        for (int i = 0; i < ColumnCount; ++i)
            h.insert(QString::fromUtf16(Titles[i]).toLower(), i);
        const std::pair<const char16_t*, int> aliases[] = {
            {u"name", Name},
            {u"名字", Name},
            {u"全名", Name},
            {u"birthday", Birthday},
            {u"手机", Mobile},
            {u"手机号码", Mobile},
            {u"mobilephone", Mobile},
            {u"mobile", Mobile},
            {u"businessphone", Work},
            {u"home phone", Home},
            {u"homephone", Home},
            {u"businessfax", Fax},
            {u"fax", Fax},
            {u"传真", Fax},
            {u"邮编", Postcode},
            {u"qq", Qq},
            {u"icq", Icq},
            {u"email", Email},
            {u"e-mailaddress", Email},
            {u"e-mail", Email},
            {u"电子邮件", Email},
            {u"nickname", Nickname},
            {u"notes", Remarks},
            {u"note", Remarks},
            {u"group", Group},
            {u"categories", Group},
            {u"分类", Group},
            {u"photo", Photo},
        };
        for (const auto& [title, column] : aliases)
            h.insert(QString::fromUtf16(title).remove(u' '), column);
        return h;
    }();
    return index;
}

QString quoted(const QString& field) {
    const bool needsQuotes = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
                             field.contains(u'\r') || field.startsWith(u' ') || field.endsWith(u' ');
    if (!needsQuotes)
        return field;
    QString out = field;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

} // namespace

QStringList CsvFile::header() {
    QStringList titles;
    for (const char16_t* title : Titles)
        titles.append(QString::fromUtf16(title));
    return titles;
}

QByteArray CsvFile::write(const std::vector<CsvContact>& contacts, Encoding encoding) {
    QString text;
    auto row = [&](const QStringList& fields) {
        QStringList cells;
        for (const QString& field : fields)
            cells.append(quoted(field));
        text += cells.join(u',');
        text += QStringLiteral("\r\n");
    };
    row(header());
    for (const CsvContact& c : contacts) {
        const ContactFields& f = c.fields;
        const QString birthday =
            f.birthday && f.birthday->isValid() ? birthday::format(*f.birthday, birthday::Style::Extended) : QString();
        row({f.name, birthday, f.mobile, f.workPhone, f.homePhone, f.fax, f.address, f.postcode, f.qq, f.icq, f.msn,
             f.email, f.nickname, f.remarks, c.groupName, f.photo});
    }
    if (encoding == Encoding::Gbk) {
        // GB18030 writes every GBK character as GBK does and has room for the rest of Unicode.
        QStringEncoder encoder("GB18030");
        if (encoder.isValid())
            return encoder(text);
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

std::vector<QStringList> CsvFile::parse(const QString& text, QChar separator) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    auto endField = [&] {
        row.append(field);
        field.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        rows.push_back(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            field += c; // a quote in the middle of an unquoted field is taken as it is
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.isEmpty() || !row.isEmpty())
        endRow();
    return rows;
}

ImportBatch CsvFile::read(const QByteArray& file) {
    ImportBatch batch;
    batch.source = ImportBatch::Source::Csv;
    const QByteArray bytes = textdecoding::withoutBom(file);
    const QString text = textdecoding::decode(bytes, {}).value_or(QString());

    // The separator: a comma, unless the header has none and a semicolon or a tab instead (spreadsheets
    // in some locales).
    const QStringView firstLine = QStringView(text).left(text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n'));
    QChar separator = u',';
    if (!firstLine.contains(u',')) {
        if (firstLine.contains(u'\t'))
            separator = u'\t';
        else if (firstLine.contains(u';'))
            separator = u';';
    }
    const std::vector<QStringList> rows = parse(text, separator);
    if (rows.empty()) {
        batch.error = QStringLiteral("CSV 文件是空的");
        return batch;
    }
    int columnOf[ColumnCount];
    std::fill(std::begin(columnOf), std::end(columnOf), -1);
    const QStringList& titles = rows.front();
    for (int i = 0; i < titles.size(); ++i) {
        const QString title = titles[i].trimmed().toLower().remove(u' ');
        const auto found = titleIndex().constFind(title);
        if (found != titleIndex().constEnd() && columnOf[*found] < 0)
            columnOf[*found] = i;
    }
    if (columnOf[Name] < 0) {
        batch.error = QStringLiteral("CSV 文件的第一行没有“姓名”一栏");
        return batch;
    }

    for (size_t r = 1; r < rows.size(); ++r) {
        const QStringList& cells = rows[r];
        if (std::all_of(cells.begin(), cells.end(), [](const QString& cell) { return cell.trimmed().isEmpty(); }))
            continue;
        auto cell = [&](int column) {
            const int index = columnOf[column];
            return index >= 0 && index < cells.size() ? cells[index] : QString();
        };
        ImportRecord record;
        record.number = static_cast<int>(r);
        ContactFields& f = record.fields;
        f.name = cell(Name);
        const QString birthday = cell(Birthday);
        f.birthday = birthday::parse(birthday);
        if (!f.birthday && !birthday.trimmed().isEmpty())
            record.warnings.append(QStringLiteral("生日 %1 无法识别，未导入").arg(birthday));
        f.mobile = cell(Mobile);
        f.workPhone = cell(Work);
        f.homePhone = cell(Home);
        f.fax = cell(Fax);
        f.address = cell(Address);
        f.postcode = cell(Postcode);
        f.qq = cell(Qq);
        f.icq = cell(Icq);
        f.msn = cell(Msn);
        f.email = cell(Email);
        f.nickname = cell(Nickname);
        f.remarks = cell(Remarks);
        f.photo = cell(Photo);
        record.groupName = cell(Group);
        batch.records.push_back(std::move(record));
    }
    return batch;
}
