#pragma once
// A failure of the data file, with SQLite's primary and extended result codes and what kind of
// failure they mean to a user: the disk is full, the file is read-only, the file is damaged, another
// program holds it, or something else. message() is what a user reads after the words of the window
// that failed ("资料没有保存: ..."): the kind in plain words, then SQLite's own text.
#include <QString>
#include <stdexcept>
#include <string>

class StoreError : public std::runtime_error {
public:
    enum class Kind { DiskFull, ReadOnly, Damaged, Busy, Other };

    // code and extendedCode are SQLite's result codes; 0 for a failure that is not SQLite's (a
    // missing table, a file that does not exist).
    explicit StoreError(const std::string& sqliteText, int code = 0, int extendedCode = 0);

    int code() const { return code_; }
    int extendedCode() const { return extendedCode_; }
    Kind kind() const { return kind_; }
    // SQLite's own words (or the store's, for a failure that is not SQLite's).
    QString detail() const { return QString::fromUtf8(what()); }
    // The kind in words, then the detail; only the detail for Kind::Other.
    QString message() const;

    static Kind kindOf(int code);
    // A full disk met outside SQLite (a file written beside the data file).
    static StoreError diskFull(const std::string& text);

private:
    int code_ = 0;
    int extendedCode_ = 0;
    Kind kind_ = Kind::Other;
};
