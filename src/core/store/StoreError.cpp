#include "core/store/StoreError.h"

#include <sqlite3.h>

StoreError::StoreError(const std::string& sqliteText, int code, int extendedCode)
    : std::runtime_error(sqliteText), code_(code & 0xff), extendedCode_(extendedCode ? extendedCode : code),
      kind_(kindOf(code)) {}

StoreError::Kind StoreError::kindOf(int code) {
    switch (code & 0xff) {
    case SQLITE_FULL:
        return Kind::DiskFull;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return Kind::ReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Kind::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Kind::Busy;
    default:
        return Kind::Other;
    }
}

StoreError StoreError::diskFull(const std::string& text) {
    return StoreError(text, SQLITE_FULL);
}

QString StoreError::message() const {
    switch (kind_) {
    case Kind::DiskFull:
        return QStringLiteral("磁盘已满 (%1)").arg(detail());
    case Kind::ReadOnly:
        return QStringLiteral("数据文件是只读的 (%1)").arg(detail());
    case Kind::Damaged:
        return QStringLiteral("数据文件已损坏 (%1)").arg(detail());
    case Kind::Busy:
        return QStringLiteral("数据文件正被其它程序使用 (%1)").arg(detail());
    case Kind::Other:
        break;
    }
    return detail();
}
