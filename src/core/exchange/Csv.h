#pragma once
// Contacts as CSV (RFC 4180). Reading knows the layouts of the common address books by their header
// rows (Google Contacts old and new, Outlook and Thunderbird in English and Simplified Chinese, the CSV
// files of Chinese phones, and this program's own); each row becomes a card that the vCard reader reads, so that
// everything without a column is kept as it is from a vCard file. Writing uses the list's column titles, then
// 农历生日, 分组, 照片 and UID, then numbered columns for the values beyond the columns of phone.
#include "core/exchange/ImportRecord.h"
#include "core/store/FieldCatalogue.h"

#include <QByteArray>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace csvdetail {
// How much a read from a device asks for at once, how far into a file its encoding is decided, and
// how many characters of a quoted field are held before the field is known to be closed (an unclosed
// quote would otherwise hold the rest of the file). Tests make them tiny.
extern qint64 readPiece;
extern qint64 windowBytes;
extern qsizetype openFieldChars;
} // namespace csvdetail

struct CsvContact {
    ContactFields fields;
    QString groupName;
    QString uid = {};
};

// How many numbered columns each typed field has in a file: as many as the person with the most
// values of it needs (none for a field nobody has).
struct CsvValueColumns {
    std::array<int, std::size(catalogue::rows::Rows)> counts{};

    int& operator[](catalogue::Field field) { return counts[static_cast<size_t>(field)]; }
    int operator[](catalogue::Field field) const { return counts[static_cast<size_t>(field)]; }
    // Widened to hold every value of these people.
    static CsvValueColumns of(const std::vector<CsvContact>& contacts);
};

class CsvFile {
public:
    // Gbk is strict GBK (what older Chinese spreadsheet programs read); a text with a character
    // outside it cannot be written so (see unencodable). Gb18030 writes all of Unicode.
    enum class Encoding { Utf8WithBom, Gbk, Gb18030 };

    // The catalogue's headers of the fields the list shows (姓名 ... 备注, the list's titles), then
    // 农历生日, 分组, 照片 and UID, then each typed field's numbered columns (FieldCatalogue.h).
    static QStringList header(const CsvValueColumns& values = {});

    // A cell that a spreadsheet would run as a formula (starting with =, +, -, @, a tab or a CR) gets a
    // leading ', and so does one that starts with ' itself; the reader takes it off again from files
    // with a UID column. Telephone numbers (digits, blanks and + - ( ) only) are written as they are.
    static QByteArray write(const std::vector<CsvContact>& contacts, Encoding encoding = Encoding::Utf8WithBom);
    // The same a piece at a time, for a file written while it is read: the file's start (the mark and
    // the header row), then one contact's row; nothing when the encoding cannot write the row.
    // A row holds as many values of a field as `values` has columns for it (the header's).
    static QByteArray headBytes(Encoding encoding, const CsvValueColumns& values = {});
    static std::optional<QByteArray> rowBytes(const CsvContact& contact, Encoding encoding,
                                              const CsvValueColumns& values = {});
    // The indexes of the contacts that hold a character the encoding cannot write.
    static std::vector<size_t> unencodable(const std::vector<CsvContact>& contacts, Encoding encoding);

    // The whole file through CsvReader, every record in the batch.
    static ImportBatch read(const QByteArray& file);

    // RFC 4180 fields; line breaks inside quotes belong to the field. `broken` receives the indexes
    // of rows whose quote was not closed. Exposed for the tests.
    static std::vector<QStringList> parse(const QString& text, QChar separator = u',',
                                          std::vector<size_t>* broken = nullptr);
};

// Reads a CSV file from a device a row at a time: the device is read in pieces and each data row's
// record is handed over as soon as the row is read, so a file of any size is read in little memory.
// The encoding is found by the byte-order mark, else UTF-16/32 by their zero bytes, else UTF-8 when
// the lines of the first csvdetail::windowBytes that hold 8-bit bytes are mostly valid UTF-8 (a row
// with bytes that are not says so), else by ICU's detector over the first megabyte (named in
// assumedEncoding). Blank rows are left out; every other row becomes a record numbered by its
// place among the data rows. A quote that is not closed by the end of the file makes its row an error;
// the rows after it are read as rows. A device that cannot seek is read whole first.
class CsvReader {
public:
    // Decides the encoding and the separator and reads the header row.
    explicit CsvReader(QIODevice& device);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The file as a whole cannot be read (empty, no known column): no records then.
    QString error() const;
    QString assumedEncoding() const;
    QString layout() const;
    // The titles of the columns of no known meaning whose values the records read so far keep.
    QStringList unknownColumns() const;
    // The records the data rows make, for a progress bar: reads to the end and comes back.
    int countRecords();
    // Hands over every data row's record in the file's order; false when the device failed before
    // its end (deviceError() says why).
    bool readRecords(const std::function<void(ImportRecord&&)>& each);
    QString deviceError() const;

private:
    struct State;
    std::unique_ptr<State> d_;
};
