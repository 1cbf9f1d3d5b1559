#include "core/text/FileErrors.h"

#include <QFileDevice>
#include <cerrno>
#include <cstring>

namespace {
struct Known {
    int code;
    const char16_t* chinese;
};
constexpr Known KnownErrors[] = {
    {ENOENT, u"没有那个文件或目录"},
    {EACCES, u"没有访问权限"},
    {EPERM, u"不允许的操作"},
    {EISDIR, u"这是一个文件夹"},
    {ENOTDIR, u"路径中有一部分不是文件夹"},
    {ENOSPC, u"磁盘上没有剩余空间"},
    {EDQUOT, u"超出了磁盘配额"},
    {EROFS, u"文件系统是只读的"},
    {EFBIG, u"文件过大"},
    {EIO, u"输入/输出错误"},
    {EEXIST, u"文件已经存在"},
    {ENAMETOOLONG, u"文件名太长"},
    {ELOOP, u"符号链接层次太多"},
    {EMFILE, u"打开的文件太多"},
    {ENXIO, u"没有那个设备或地址"},
    {ETXTBSY, u"文件正在使用"},
};
} // namespace

QString chineseFileError(const QString& systemText) {
    for (const Known& known : KnownErrors) {
        if (systemText.compare(QString::fromLocal8Bit(std::strerror(known.code)), Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(known.chinese);
    }
    return systemText;
}

QString chineseFileError(const QFileDevice& file) {
    return chineseFileError(file.errorString());
}
