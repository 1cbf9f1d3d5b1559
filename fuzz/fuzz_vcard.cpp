// libFuzzer target for the vCard and CSV readers. Beyond "does not crash": every card the reader
// accepts must survive the writer and the reader again with the same fields, in both versions.
#include "core/exchange/Csv.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The writer turns CR and CRLF into the one line break vCard knows.
QString oneLineBreak(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

ContactFields normalized(ContactFields f) {
    for (QString* text : {&f.name, &f.mobile, &f.workPhone, &f.homePhone, &f.fax, &f.address, &f.postcode, &f.qq,
                          &f.icq, &f.msn, &f.email, &f.nickname, &f.remarks})
        *text = oneLineBreak(*text);
    // A typed value read from a line is the card's wording: the other version words it otherwise, and
    // its label is read from that wording.
    for (TypedValue& value : f.values) {
        value.value = oneLineBreak(value.value);
        if (!value.line.isEmpty())
            value.label.clear();
        value.line.clear();
    }
    return f;
}

// A photo reference that is an ordinary path or URI (no blanks or control characters) comes back as it
// went; anything else is not compared. A Windows drive path is a path only on Windows.
bool ordinaryReference(const QString& photo) {
    if (photo.size() >= 2 && photo[1] == u':')
        return false;
    for (const QChar c : photo) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace() || c == u'%' || c == u'#' || c == u'?')
            return false;
    }
    return true;
}

// Names the broken promise before libFuzzer reports the crash.
#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "round trip broken: %s\n", #condition);                                               \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)CsvFile::read(bytes);
    (void)VCardReader::looksLikeVCard(bytes);
    const ImportBatch batch = VCardReader::read(bytes);
    for (const ImportRecord& record : batch.records) {
        if (!record.ok())
            continue;
        for (const VCardVersion version : {VCardVersion::V30, VCardVersion::V40}) {
            ExportCard card{record.fields, record.groupName, record.uid, record.photoData, record.photoExtension};
            const ImportBatch again = VCardReader::read(VCardWriter::write(card, version));
            CHECK(again.records.size() == 1);
            const ImportRecord& back = again.records.front();
            CHECK(back.ok());
            ContactFields expected = normalized(record.fields);
            ContactFields actual = normalized(back.fields);
            if (!ordinaryReference(expected.photo) || !record.photoData.isEmpty())
                expected.photo = actual.photo = QString();
            CHECK(actual == expected);
            CHECK(back.photoData == record.photoData);
            CHECK(record.groupName.trimmed().isEmpty() || back.groupName == oneLineBreak(record.groupName));
            CHECK(back.uid == oneLineBreak(record.uid).trimmed());
        }
    }
    return 0;
}
