#include "core/app/CommandLine.h"

#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/store/DataFileLock.h"
#include "core/store/StopSignal.h"
#include "core/store/Store.h"
#include "core/app/Version.h"
#include "core/text/Columns.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>
#include <algorithm>

namespace {

struct Options {
    QCommandLineOption import{QStringLiteral("import"), QStringLiteral("从文件导入联系人 (.vcf 或 .csv)"),
                              QStringLiteral("文件")};
    QCommandLineOption exportTo{QStringLiteral("export"), QStringLiteral("把联系人导出到文件 (.vcf 或 .csv)"),
                                QStringLiteral("文件")};
    QCommandLineOption group{QStringLiteral("group"),
                             QStringLiteral("导入：没有分类的名片放进这个分组；导出：只导出这个分组"),
                             QStringLiteral("名称")};
    QCommandLineOption vcard{QStringLiteral("vcard"), QStringLiteral("导出的 vCard 版本：3.0 (默认) 或 4.0"),
                             QStringLiteral("3.0|4.0")};
    QCommandLineOption encoding{QStringLiteral("encoding"), QStringLiteral("导出 CSV 的编码：utf-8 (默认)、gbk 或 gb18030"),
                                QStringLiteral("utf-8|gbk|gb18030")};
    QCommandLineOption remind{QStringLiteral("remind"), QStringLiteral("列出今天和最近几天过生日的好友，并显示桌面通知")};
    QCommandLineOption sync{QStringLiteral("sync"),
                            QStringLiteral("与 CardDAV 服务器双向同步联系人 (用“同步设置...”里的帐户)")};
    QCommandLineOption syncUrl{QStringLiteral("sync-url"),
                               QStringLiteral("同步：通讯录或服务器的地址，代替设置里的帐户"), QStringLiteral("地址")};
    QCommandLineOption syncUser{QStringLiteral("sync-user"),
                                QStringLiteral("同步：用户名；密码从标准输入的第一行读入"), QStringLiteral("用户名")};
    QCommandLineOption syncAllowDelete{
        QStringLiteral("sync-allow-delete"),
        QStringLiteral("同步：服务器上少了大部分名片时也照样在本地删除 (否则同步会停下，什么也不删)")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("显示这段说明")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("显示版本号")};

    // Given by the reminder's notification when it is clicked: the window opens on the reminder list.
    QCommandLineOption showReminder{QStringLiteral("show-reminder"), QString()};

    // What --help lists, in this order.
    QList<QCommandLineOption> listed() const {
        return {import, group, exportTo, vcard, encoding, sync, syncUrl, syncUser, syncAllowDelete, remind, help, version};
    }
};

// Qt's own options, which belong to the window (-platform offscreen, -style Fusion, ...).
QList<QCommandLineOption> windowOptions() {
    QList<QCommandLineOption> options;
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "style", "stylesheet", "display", "geometry", "session",
                             "title", "name", "qmljsdebugger"})
        options << QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value"));
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "testability"})
        options << QCommandLineOption(QLatin1String(name));
    for (QCommandLineOption& option : options)
        option.setFlags(QCommandLineOption::HiddenFromHelp);
    return options;
}

QString helpText(const Options& o) {
    QString text = QStringLiteral("用法：zinteva [选项]\n"
                                  "个人通讯录。不带选项时打开主窗口；--import、--export、--sync 和 --remind 不打开窗口。\n\n"
                                  "选项：\n");
    std::vector<std::pair<QString, QString>> rows;
    for (const QCommandLineOption& option : o.listed()) {
        QStringList names;
        for (const QString& name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += u' ' + option.valueName();
        rows.emplace_back(left, option.description());
    }
    // The value names are Chinese: the descriptions line up by the cells the terminal shows.
    return text + alignedColumns(rows);
}

// QCommandLineParser's own messages are English; the user reads Chinese.
QString parseError(const QCommandLineParser& parser, const QStringList& arguments,
                   const QList<QCommandLineOption>& known) {
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("未知的选项：%1").arg(parser.unknownOptionNames().join(QStringLiteral(", ")));
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString name = arguments[i];
        if (!name.startsWith(u'-') || name.contains(u'='))
            continue;
        while (name.startsWith(u'-'))
            name.remove(0, 1);
        for (const QCommandLineOption& option : known) {
            if (option.names().contains(name) && !option.valueName().isEmpty() && i + 1 == arguments.size())
                return QStringLiteral("选项 %1 后面缺少值").arg(arguments[i]);
        }
    }
    return QStringLiteral("命令行有误：%1").arg(parser.errorText());
}

int usage(QTextStream& out, const QString& problem) {
    out << problem << '\n'
        << QStringLiteral("用法：zinteva --import 文件 [--group 名称]") << '\n'
        << QStringLiteral("      zinteva --export 文件 [--group 名称] [--vcard 3.0|4.0] [--encoding utf-8|gbk|gb18030]")
        << '\n'
        << QStringLiteral("      zinteva --sync [--sync-url 地址 --sync-user 用户名] [--sync-allow-delete]"
                          "（密码从标准输入的第一行读入）")
        << '\n'
        << QStringLiteral("      zinteva --remind") << '\n'
        << QStringLiteral("      zinteva --help 列出全部选项") << '\n';
    out.flush();
    return exitcode::Usage;
}

// Every writer of the data file holds its lock: a running window refuses the command at once, another
// command is waited for a little.
bool takeLock(DataFileLock& lock, QTextStream& out) {
    if (lock.lock(DataFileLock::Role::Command, DataFileLock::CommandWait))
        return true;
    out << lock.errorString() << '\n';
    out.flush();
    return false;
}

std::unique_ptr<Store> openStore(const QString& dataFile, QTextStream& out) {
    try {
        auto store = Store::open(dataFile);
        if (!store->droppedSchema().isEmpty())
            out << QStringLiteral("数据文件中有不是本程序建立的%1，已将它们删除。")
                       .arg(store->droppedSchema().join(QStringLiteral("、")))
                << '\n';
        return store;
    } catch (const StoreError& e) {
        out << QStringLiteral("无法打开数据文件 %1：%2").arg(QDir::toNativeSeparators(dataFile), e.message()) << '\n';
        out.flush();
        return nullptr;
    }
}

int runImport(const QString& file, const QString& groupName, const QString& dataFile, QTextStream& out) {
    const StopSignal stop; // a signal stops the import at its next card; the lock goes after the rollback
    DataFileLock lock(dataFile);
    if (!takeLock(lock, out))
        return exitcode::Incomplete;
    auto store = openStore(dataFile, out);
    if (!store)
        return exitcode::Incomplete;
    Importer importer(*store, dataFile);
    ImportOptions options;
    options.defaultGroupName = groupName;
    const ImportSummary summary =
        importer.runFile(file, options, [](int, int) { return !StopSignal::requested(); });
    if (summary.cancelled) {
        out << QStringLiteral("收到结束信号，导入已撤销，数据文件没有改变。") << '\n';
        out.flush();
        return exitcode::Incomplete;
    }
    out << summary.text() << '\n';
    out.flush();
    return summary.complete() ? exitcode::Success : exitcode::Incomplete;
}

int runExport(const QString& file, const QString& groupName, VCardVersion version, ExportFormat csv, const QString& dataFile,
              QTextStream& out) {
    DataFileLock lock(dataFile);
    if (!takeLock(lock, out))
        return exitcode::Incomplete;
    auto store = openStore(dataFile, out);
    if (!store)
        return exitcode::Incomplete;
    ExportSelection selection = ExportSelection::all();
    if (!groupName.isEmpty()) {
        QString key;
        try {
            for (const GroupRow& group : store->groups()) {
                if (group.name == groupName) {
                    key = group.key;
                    break;
                }
            }
        } catch (const StoreError& e) {
            out << QStringLiteral("读取数据文件失败：%1").arg(e.message()) << '\n';
            out.flush();
            return exitcode::Incomplete;
        }
        if (key.isEmpty()) {
            out << QStringLiteral("没有名为“%1”的分组").arg(groupName) << '\n';
            out.flush();
            return exitcode::Incomplete;
        }
        selection = ExportSelection::group(key);
    }
    int count = 0;
    QString error;
    if (!Exporter(*store).exportToFile(file, selection, Exporter::formatFor(file, version, csv), &count, &error)) {
        out << error << '\n';
        out.flush();
        return exitcode::Incomplete;
    }
    out << QStringLiteral("导出了 %1 个联系人到 %2").arg(count).arg(QDir::toNativeSeparators(file)) << '\n';
    out.flush();
    return exitcode::Success;
}

} // namespace

std::optional<int> runCommandLine(const QStringList& arguments, const QString& dataFile, QTextStream& out,
                                  const SyncRunner& sync, const RemindServices& remind) {
    Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    o.showReminder.setFlags(QCommandLineOption::HiddenFromHelp);
    const QList<QCommandLineOption> known = o.listed() + windowOptions() + QList<QCommandLineOption>{o.showReminder};
    parser.addOptions(known);
    const QStringList given = arguments.isEmpty() ? QStringList{QStringLiteral("zinteva")} : arguments;
    const bool parsed = parser.parse(given);
    // --help and --version answer on the terminal, whatever else was given, and need no display.
    if (parser.isSet(o.help)) {
        out << helpText(o);
        out.flush();
        return exitcode::Success;
    }
    if (parser.isSet(o.version)) {
        out << QStringLiteral("zinteva %1").arg(QLatin1String(ZINTEVA_VERSION)) << '\n';
        out.flush();
        return exitcode::Success;
    }
    if (!parsed)
        return usage(out, parseError(parser, given, known));
    const bool importing = parser.isSet(o.import);
    const bool exporting = parser.isSet(o.exportTo);
    if (parser.isSet(o.remind)) {
        if (importing || exporting || parser.isSet(o.group) || parser.isSet(o.vcard) || parser.isSet(o.encoding) ||
            parser.isSet(o.sync) || parser.isSet(o.syncUrl) || parser.isSet(o.syncUser) ||
            parser.isSet(o.syncAllowDelete) || !parser.positionalArguments().isEmpty())
            return usage(out, QStringLiteral("--remind 不能与其它参数一起使用"));
        return runRemind(dataFile, out, remind);
    }
    if (parser.isSet(o.sync)) {
        if (importing || exporting)
            return usage(out, QStringLiteral("--sync 不能与 --import 或 --export 同时使用"));
        if (parser.isSet(o.group) || parser.isSet(o.vcard) || parser.isSet(o.encoding))
            return usage(out, QStringLiteral("--group、--vcard 和 --encoding 只能与 --import 或 --export 一起使用"));
        if (!parser.positionalArguments().isEmpty())
            return usage(out, QStringLiteral("多余的参数：%1").arg(parser.positionalArguments().join(u' ')));
        if (parser.isSet(o.syncUrl) != parser.isSet(o.syncUser))
            return usage(out, QStringLiteral("--sync-url 和 --sync-user 要一起给出"));
        if (!sync)
            return usage(out, QStringLiteral("这个程序不能同步"));
        return sync({parser.value(o.syncUrl), parser.value(o.syncUser), parser.isSet(o.syncAllowDelete)}, out);
    }
    if (parser.isSet(o.syncUrl) || parser.isSet(o.syncUser) || parser.isSet(o.syncAllowDelete))
        return usage(out, QStringLiteral("--sync-url、--sync-user 和 --sync-allow-delete 只能与 --sync 一起使用"));
    if (!importing && !exporting) {
        // Options of these modes alone are a mistake; anything else (Qt's own -style, -platform, ...)
        // belongs to the window.
        if (!parser.isSet(o.group) && !parser.isSet(o.vcard) && !parser.isSet(o.encoding))
            return std::nullopt;
        return usage(out, QStringLiteral("--group、--vcard 和 --encoding 只能与 --import 或 --export 一起使用"));
    }
    if (importing && exporting)
        return usage(out, QStringLiteral("--import 和 --export 不能同时使用"));
    if (!parser.positionalArguments().isEmpty())
        return usage(out, QStringLiteral("多余的参数：%1").arg(parser.positionalArguments().join(u' ')));
    const QString group = parser.value(o.group);

    if (importing) {
        if (parser.isSet(o.vcard) || parser.isSet(o.encoding))
            return usage(out, QStringLiteral("--vcard 和 --encoding 只用于 --export"));
        return runImport(parser.value(o.import), group, dataFile, out);
    }

    VCardVersion version = VCardVersion::V30;
    if (parser.isSet(o.vcard)) {
        const QString v = parser.value(o.vcard);
        if (v == u"4.0" || v == u"4")
            version = VCardVersion::V40;
        else if (v != u"3.0" && v != u"3")
            return usage(out, QStringLiteral("--vcard 只能是 3.0 或 4.0"));
    }
    ExportFormat csv = ExportFormat::CsvUtf8;
    if (parser.isSet(o.encoding)) {
        const QString e = parser.value(o.encoding).toLower();
        if (e == u"gbk")
            csv = ExportFormat::CsvGbk;
        else if (e == u"gb18030")
            csv = ExportFormat::CsvGb18030;
        else if (e != u"utf-8" && e != u"utf8")
            return usage(out, QStringLiteral("--encoding 只能是 utf-8、gbk 或 gb18030"));
    }
    return runExport(parser.value(o.exportTo), group, version, csv, dataFile, out);
}
