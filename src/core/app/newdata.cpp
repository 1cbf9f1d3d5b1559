// zinteva-newdata FOLDER: writes an empty data file (tavrel.mdb) with both tables into FOLDER.
// Never overwrites an existing file.
#include "core/app/Version.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "core/text/Columns.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {
QString usage() {
    return QStringLiteral("用法：zinteva-newdata 文件夹\n"
                          "在文件夹中建立一个空的数据文件 (tavrel.mdb)；已有的文件不会被覆盖。\n\n"
                          "选项：\n") +
           alignedColumns({{QStringLiteral("  -h, --help"), QStringLiteral("显示这段说明")},
                           {QStringLiteral("  -v, --version"), QStringLiteral("显示版本号")},
                           {QStringLiteral("  --"), QStringLiteral("其后的参数都是文件夹名 (文件夹名以 - 开头时使用)")}});
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments();
    QStringList folders;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || !a.startsWith(u'-') || a == u"-") {
            folders << a;
        } else if (a == u"--") {
            optionsEnded = true;
        } else if (a == u"-h" || a == u"--help") {
            out << usage();
            return 0;
        } else if (a == u"-v" || a == u"--version") {
            out << QStringLiteral("zinteva-newdata %1\n").arg(QLatin1String(ZINTEVA_VERSION));
            return 0;
        } else {
            err << QStringLiteral("未知的选项：%1\n").arg(a) << usage();
            return 2;
        }
    }
    if (folders.size() != 1) {
        err << (folders.isEmpty() ? QStringLiteral("缺少文件夹名\n") : QStringLiteral("只能给一个文件夹名\n"))
            << usage();
        return 2;
    }
    const DataPaths paths = DataPaths::in(folders.front());
    if (!QDir().mkpath(paths.dir)) {
        err << QStringLiteral("不能建立文件夹 %1\n").arg(QDir::toNativeSeparators(paths.dir));
        return 1;
    }
    try {
        Store::createEmpty(paths.data);
    } catch (const StoreError& e) {
        err << e.message() << "\n";
        return 1;
    }
    out << paths.data << "\n";
    return 0;
}
