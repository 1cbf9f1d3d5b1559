#include "core/app/CommandLine.h"

#include "core/exchange/Exporter.h"
#include "core/exchange/Importer.h"
#include "core/store/Store.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>
#include <algorithm>

namespace {

struct Options {
    QCommandLineOption import{QStringLiteral("import"), QStringLiteral("从文件导入联系人 (.vcf 或 .csv)"),
                              QStringLiteral("FILE")};
    QCommandLineOption exportTo{QStringLiteral("export"), QStringLiteral("把联系人导出到文件 (.vcf 或 .csv)"),
                                QStringLiteral("FILE")};
    QCommandLineOption group{QStringLiteral("group"),
                             QStringLiteral("导入：没有分类的名片放进这个分组；导出：只导出这个分组"),
                             QStringLiteral("名称")};
    QCommandLineOption vcard{QStringLiteral("vcard"), QStringLiteral("导出的 vCard 版本：3.0 (默认) 或 4.0"),
                             QStringLiteral("3.0|4.0")};
    QCommandLineOption encoding{QStringLiteral("encoding"), QStringLiteral("导出 CSV 的编码：utf-8 (默认) 或 gbk"),
                                QStringLiteral("utf-8|gbk")};
    QCommandLineOption remind{QStringLiteral("remind"), QStringLiteral("列出今天和最近几天过生日的好友，并显示桌面通知")};
};

int usage(QTextStream& out, const QString& problem) {
    out << problem << '\n'
        << QStringLiteral("用法：zinteva --import 文件 [--group 名称]") << '\n'
        << QStringLiteral("      zinteva --export 文件 [--group 名称] [--vcard 3.0|4.0] [--encoding utf-8|gbk]")
        << '\n'
        << QStringLiteral("      zinteva --remind") << '\n';
    out.flush();
    return exitcode::Usage;
}

std::unique_ptr<Store> openStore(const QString& dataFile, QTextStream& out) {
    try {
        return Store::open(dataFile);
    } catch (const StoreError& e) {
        out << QStringLiteral("无法打开数据文件 %1：%2").arg(QDir::toNativeSeparators(dataFile), e.message()) << '\n';
        out.flush();
        return nullptr;
    }
}

int runImport(const QString& file, const QString& groupName, const QString& dataFile, QTextStream& out) {
    auto store = openStore(dataFile, out);
    if (!store)
        return exitcode::Incomplete;
    Importer importer(*store, dataFile);
    ImportOptions options;
    options.defaultGroupName = groupName;
    const ImportSummary summary = importer.runFile(file, options);
    out << summary.text() << '\n';
    out.flush();
    return summary.complete() ? exitcode::Success : exitcode::Incomplete;
}

int runExport(const QString& file, const QString& groupName, VCardVersion version, bool gbk, const QString& dataFile,
              QTextStream& out) {
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
    if (!Exporter(*store).exportToFile(file, selection, Exporter::formatFor(file, version, gbk), &count, &error)) {
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
                                  const RemindServices& remind) {
    Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({o.import, o.exportTo, o.group, o.vcard, o.encoding, o.remind});
    const bool parsed = parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("zinteva")} : arguments);
    const bool importing = parsed && parser.isSet(o.import);
    const bool exporting = parsed && parser.isSet(o.exportTo);
    if (parsed && parser.isSet(o.remind)) {
        if (importing || exporting || parser.isSet(o.group) || parser.isSet(o.vcard) || parser.isSet(o.encoding) ||
            !parser.unknownOptionNames().isEmpty() || !parser.positionalArguments().isEmpty())
            return usage(out, QStringLiteral("--remind 不能与其它参数一起使用"));
        return runRemind(dataFile, out, remind);
    }
    if (!importing && !exporting) {
        // Options of these modes alone are a mistake; anything else (Qt's own -style, -platform, ...)
        // belongs to the window.
        const bool ours = parsed ? parser.isSet(o.group) || parser.isSet(o.vcard) || parser.isSet(o.encoding)
                                 : std::any_of(arguments.begin() + 1, arguments.end(), [](const QString& a) {
                                       return a.startsWith(u"--import") || a.startsWith(u"--export") ||
                                              a.startsWith(u"-import") || a.startsWith(u"-export");
                                   });
        if (!ours)
            return std::nullopt;
        return usage(out, parsed ? QStringLiteral("--group、--vcard 和 --encoding 只能与 --import 或 --export 一起使用")
                                 : parser.errorText());
    }
    if (!parser.unknownOptionNames().isEmpty())
        return usage(out, QStringLiteral("未知的选项：%1").arg(parser.unknownOptionNames().join(QStringLiteral(", "))));
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
    bool gbk = false;
    if (parser.isSet(o.encoding)) {
        const QString e = parser.value(o.encoding).toLower();
        if (e == u"gbk" || e == u"gb18030")
            gbk = true;
        else if (e != u"utf-8" && e != u"utf8")
            return usage(out, QStringLiteral("--encoding 只能是 utf-8 或 gbk"));
    }
    return runExport(parser.value(o.exportTo), group, version, gbk, dataFile, out);
}
