// zinteva-bench: the program measured as a user feels it, each measurement against its limit, at
// 10,000 and 100,000 contacts (--sizes 10000,100000,1000000 adds a million). Every round runs each
// measurement beside its limit, so that a busy machine slows both alike; the table prints the
// median of the rounds' ratios and their spread. Exits 1 when a goal at 100,000 (or the largest
// size below it) is missed.
//
// Start-up, import and export run the real program in a process of its own: start-up is timed to
// the window's filled first paint as the X server sees it (run under an X server: scripts/bench
// starts Xvfb), and /usr/bin/time reports each process's peak memory. Save, search, sort and the
// reminder run in this process, on the main window the program shows.
#include "PaintProbe.h"
#include "SyntheticDirectory.h"

#include "core/app/Messages.h"
#include "core/app/Settings.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/ContactFields.h"
#include "core/store/DataFiles.h"
#include "core/store/Query.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "core/text/Clock.h"
#include "core/text/Keys.h"
#include "gui/app/Commands.h"
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListFilterBar.h"
#include "support/StoreProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

namespace {

class SilentDialogs final : public Dialogs {
public:
    MsgAnswer show(QWidget*, const Message& m) override { return m.defaultButton; }
    std::optional<QString> input(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    QString openFile(QWidget*, const FileRequest&) override { return {}; }
    QString saveFile(QWidget*, const FileRequest&) override { return {}; }
    int openForm(QDialog&) override { return 0; }
};

double msSince(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string path(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

// Reads every row and column of a statement's result with the C API, values untouched.
double rawRead(const QString& dataFile, const char* statementText) {
    QElapsedTimer timer;
    timer.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(path(dataFile).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, statementText, -1, &statement, nullptr);
    size_t bytes = 0;
    const int columns = sqlite3_column_count(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            sqlite3_column_text(statement, c);
            bytes += static_cast<size_t>(sqlite3_column_bytes(statement, c));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    const double ms = msSince(timer);
    if (bytes == 0)
        std::fprintf(stderr, "raw read saw no data\n");
    return ms;
}

// --limit-import FILE DATAFILE: the limit of an import. The cards read line by line, their
// properties mapped to columns by name, every row inserted by one prepared statement in one
// transaction. No checks, no pinyin keys, nothing kept in memory beyond one card.
int limitImport(const char* cards, const char* dataFile) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dataFile, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 1;
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into phone (mainid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, 传真号码, 地址, 邮政编码, "
                       "qq, icq, msn, email, 昵称, 备注, 照片) values ('main1', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?)",
                       -1, &insert, nullptr);
    const std::map<std::string, int> columns{
        {"FN", 1},           {"BDAY", 2},      {"TEL;TYPE=CELL", 3}, {"TEL;TYPE=WORK", 4}, {"TEL;TYPE=HOME", 5},
        {"TEL;TYPE=FAX", 6}, {"ADR", 7},       {"X-QQ", 9},          {"X-ICQ", 10},        {"X-MSN", 11},
        {"EMAIL", 12},       {"NICKNAME", 13}, {"NOTE", 14},         {"PHOTO", 15}};
    std::ifstream in(cards);
    std::string line, card;
    std::vector<std::string> lines;
    auto property = [&](const std::string& unfolded) {
        const size_t colon = unfolded.find(':');
        if (colon == std::string::npos)
            return;
        std::string name = unfolded.substr(0, colon);
        auto found = columns.find(name);
        if (found == columns.end())
            found = columns.find(name.substr(0, name.find(';')));
        if (found != columns.end())
            sqlite3_bind_text(insert, found->second, unfolded.c_str() + colon + 1,
                              static_cast<int>(unfolded.size() - colon - 1), SQLITE_TRANSIENT);
    };
    std::string pending;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            pending.append(line, 1, std::string::npos);
            continue;
        }
        property(pending);
        pending = line;
        if (line == "END:VCARD") {
            sqlite3_step(insert);
            sqlite3_reset(insert);
            sqlite3_clear_bindings(insert);
        }
    }
    property(pending);
    sqlite3_finalize(insert);
    const bool ok = sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok ? 0 : 1;
}

// --limit-copy FROM TO: the same bytes written, read and written in large blocks.
int limitCopy(const char* from, const char* to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        out.write(block.data(), in.gcount());
    }
    out.flush();
    return out ? 0 : 1;
}

struct Series {
    std::vector<double> measured, limit;
    void add(double m, double l) {
        measured.push_back(m);
        limit.push_back(l);
    }
    std::vector<double> ratios() const {
        std::vector<double> r;
        for (size_t i = 0; i < measured.size() && i < limit.size(); ++i)
            r.push_back(limit[i] > 0 ? measured[i] / limit[i] : 0);
        return r;
    }
};

struct Row {
    std::string name;
    Series series;
    double goal = 0;
    std::string limitName;
};

void copyFresh(const QString& from, const QString& to) {
    QFile::remove(to);
    QFile::copy(from, to);
}

void writeSettings(const QString& configHome, bool reminder) {
    QDir().mkpath(configHome + QStringLiteral("/tavrel"));
    Settings settings(configHome + QStringLiteral("/tavrel/tavrel.conf"));
    settings.setText(setting::Birthday, reminder ? QStringLiteral("1") : QStringLiteral("0"));
    settings.sync();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 4 && std::string(argv[1]) == "--limit-import")
        return limitImport(argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--limit-copy")
        return limitCopy(argv[2], argv[3]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    std::vector<int> sizes{10000, 100000};
    int rounds = 5;
    // startup: the program started from outside; exchange: import and export; window: save, search,
    // sort and the reminder in this process.
    QStringList parts{QStringLiteral("startup"), QStringLiteral("exchange"), QStringLiteral("window")};
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& n : arguments[i + 1].split(QLatin1Char(',')))
                sizes.push_back(n.toInt());
        } else if (arguments[i] == QLatin1String("--rounds")) {
            rounds = std::max(1, arguments[i + 1].toInt());
        } else if (arguments[i] == QLatin1String("--parts")) {
            parts = arguments[i + 1].split(QLatin1Char(','));
        }
    }
    const bool detail = qEnvironmentVariableIsSet("ZINTEVA_BENCH_DETAIL");
    const QString binaries = QCoreApplication::applicationDirPath();
    const std::string program = path(binaries + QStringLiteral("/zinteva"));
    const std::string emptyWindow = path(binaries + QStringLiteral("/zinteva-empty-window"));
    const std::string self = path(QCoreApplication::applicationFilePath());
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") && parts.contains(QStringLiteral("startup"));
    const bool exchange = parts.contains(QStringLiteral("exchange"));
    const bool inWindow = parts.contains(QStringLiteral("window"));
    if (!display && parts.contains(QStringLiteral("startup")))
        std::printf("No X display: start-up is not measured (scripts/bench runs the benchmark under Xvfb).\n");

    int goalSize = 0;
    for (const int n : sizes)
        if (n <= 100000)
            goalSize = std::max(goalSize, n);
    bool goalsMet = true;
    std::map<std::string, std::map<int, double>> medians; // for the growth from one size to the next
    std::printf("%-8s %-40s %10s %10s %7s %13s %5s\n", "contacts", "measurement", "median ms", "limit ms", "ratio",
                "spread", "goal");
    for (const int n : sizes) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/zinteva-bench-XXXXXX"));
        auto in = [&](const QString& name) { return dir.filePath(name); };
        for (const char* folder : {"data", "nokeys", "import", "limit", "out"})
            QDir(dir.path()).mkdir(QLatin1String(folder));
        const DataPaths data = DataPaths::in(in(QStringLiteral("data")));
        QElapsedTimer made;
        made.start();
        Store::createEmpty(in(QStringLiteral("empty.mdb")));
        Store::createEmpty(data.data);
        fillSyntheticDirectory(*Store::open(data.data), n);
        Store::createEmpty(in(QStringLiteral("nokeys.mdb")));
        fillSyntheticDirectory(*Store::open(in(QStringLiteral("nokeys.mdb"))), n, SyntheticOptions{20261207, false});
        writeSettings(in(QStringLiteral("remind-on")), true);
        writeSettings(in(QStringLiteral("remind-off")), false);
        // The cards every import reads: the directory as the program itself exports it.
        const std::string cards = path(in(QStringLiteral("cards.vcf")));
        const std::map<std::string, std::string> onData{{"ZINTEVA_DIR", path(data.dir)}};
        if (exchange)
            runTimed({program, "--export", cards}, onData);
        if (detail)
            std::printf("  data made in %.0f ms\n", msSince(made));

        QDir(dir.path()).mkdir(QStringLiteral("runtime"));
        QFile::setPermissions(in(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        std::map<std::string, std::string> windowEnvironment{
            {"QT_QPA_PLATFORM", "xcb"},
            {"XDG_RUNTIME_DIR", path(in(QStringLiteral("runtime")))},
            {"ZINTEVA_MESSAGE_LOG", path(in(QStringLiteral("messages.log")))},
        };
        auto startWith = [&](const QString& dataDir, bool reminder) {
            auto environment = windowEnvironment;
            environment["ZINTEVA_DIR"] = path(dataDir);
            environment["XDG_CONFIG_HOME"] =
                path(in(reminder ? QStringLiteral("remind-on") : QStringLiteral("remind-off")));
            return probeStartup({program}, environment);
        };

        Row startOn{"start-up, reminder on (to filled paint)", {}, 1.5, "empty window + raw read"};
        Row startOff{"start-up, reminder off (to filled paint)", {}, 1.5, "empty window + raw read"};
        Row noKeys{"first start without pinyin keys", {}, 1.5, "normal start"};
        Row emptyPaint{"  (empty Qt window, first paint)", {}, 0, ""};
        Row raw{"  (raw read, C API)", {}, 0, ""};
        Row saveAll{"save, 所有人, unsorted", {}, 1.3, "raw read + commit"};
        Row saveSorted{"save, 所有人, sorted by name", {}, 1.3, "raw read + commit"};
        Row saveGroup{"save, a group selected", {}, 1.3, "raw read + commit"};
        Row saveGroupSorted{"save, a group selected, sorted", {}, 1.3, "raw read + commit"};
        Row paintRow{"  (paint after a refill, in this process)", {}, 0, ""};
        Row search{"search: name and mobile", {}, 1.2, "same statement, C API"};
        Row sortName{"sort by name (vs refill)", {}, 1.0, "refill"};
        Row filterRow{"filter: 4 keys (vs refill)", {}, 1.0, "refill"};
        Row duplicatesRow{"find duplicates (vs refill)", {}, 1.5, "refill"};
        Row reminderRow{"reminder: pass + list", {}, 1.5, "reading the same rows"};
        Row importRow{"import vCard", {}, 5.0, "parse + bulk insert"};
        Row exportVcf{"export vCard", {}, 2.0, "same bytes written"};
        Row exportCsv{"export CSV", {}, 2.0, "sqlite3 -csv"};
        long peakStart = 0, peakImport = 0, peakExport = 0;
        std::vector<double> firstPaints, filledPaints;

        SilentDialogs dialogs;
        FixedClock clock{QDate(2026, 12, 7)};
        Settings settings(in(QStringLiteral("settings.ini")));
        settings.setText(setting::Birthday, QStringLiteral("0"));
        for (int round = 0; round < rounds; ++round) {
            const double rawMs = rawRead(data.data, "select * from phone");
            raw.series.add(rawMs, rawMs);
            if (display) {
                const PaintTimes empty = probeStartup({emptyWindow}, windowEnvironment);
                const PaintTimes on = startWith(data.dir, true);
                const PaintTimes off = startWith(data.dir, false);
                copyFresh(in(QStringLiteral("nokeys.mdb")), in(QStringLiteral("nokeys/tavrel.mdb")));
                QFile::remove(in(QStringLiteral("nokeys/tavrel.tsb")));
                const PaintTimes fresh = startWith(in(QStringLiteral("nokeys")), false);
                for (const PaintTimes* t : {&empty, &on, &off, &fresh})
                    if (!t->ok)
                        std::printf("  start-up round failed: %s\n", t->problem.c_str());
                const double limit = empty.firstPaint + rawMs;
                if (empty.ok) {
                    emptyPaint.series.add(empty.firstPaint, empty.firstPaint);
                    if (on.ok)
                        startOn.series.add(on.lastPaint, limit);
                    if (off.ok)
                        startOff.series.add(off.lastPaint, limit);
                }
                // The window filled: its first paint, whatever the key building draws afterwards.
                if (fresh.ok && off.ok) {
                    noKeys.series.add(fresh.firstPaint, off.firstPaint);
                    firstPaints.push_back(off.firstPaint);
                    filledPaints.push_back(off.lastPaint);
                }
                peakStart = std::max({peakStart, on.peakKb, off.peakKb, fresh.peakKb});
                if (detail)
                    std::printf("  start-up: empty %.1f/%.1f; on mapped %.1f first %.1f last %.1f; off mapped %.1f "
                                "first %.1f last %.1f; without keys first %.1f last %.1f\n",
                                empty.firstPaint, empty.lastPaint, on.mapped, on.firstPaint, on.lastPaint, off.mapped,
                                off.firstPaint, off.lastPaint, fresh.firstPaint, fresh.lastPaint);
            }

            // Import and export, each beside its limit.
            if (exchange) {
                copyFresh(in(QStringLiteral("empty.mdb")), in(QStringLiteral("import/tavrel.mdb")));
                QFile::remove(in(QStringLiteral("import/tavrel.tsb")));
                const RunTimes imported =
                    runTimed({program, "--import", cards}, {{"ZINTEVA_DIR", path(in(QStringLiteral("import")))}});
                copyFresh(in(QStringLiteral("empty.mdb")), in(QStringLiteral("limit/tavrel.mdb")));
                const RunTimes importLimit =
                    runTimed({self, "--limit-import", cards, path(in(QStringLiteral("limit/tavrel.mdb")))}, {});
                if (imported.ok && importLimit.ok)
                    importRow.series.add(imported.ms, importLimit.ms);
                const std::string vcf = path(in(QStringLiteral("out/export.vcf")));
                const std::string csv = path(in(QStringLiteral("out/export.csv")));
                const RunTimes vcfOut = runTimed({program, "--export", vcf}, onData);
                const RunTimes vcfLimit = runTimed({self, "--limit-copy", vcf, vcf + ".copy"}, {});
                const RunTimes csvOut = runTimed({program, "--export", csv}, onData);
                const RunTimes csvLimit = runTimed({"/usr/bin/sqlite3", "-csv", path(data.data), "select * from phone"},
                                                   {}, csv + ".sqlite3");
                if (vcfOut.ok && vcfLimit.ok)
                    exportVcf.series.add(vcfOut.ms, vcfLimit.ms);
                if (csvOut.ok && csvLimit.ok)
                    exportCsv.series.add(csvOut.ms, csvLimit.ms);
                for (const RunTimes* t : {&imported, &importLimit, &vcfOut, &vcfLimit, &csvOut, &csvLimit})
                    if (!t->ok)
                        std::printf("  an import or export round failed\n");
                peakImport = std::max(peakImport, imported.peakKb);
                peakExport = std::max({peakExport, vcfOut.peakKb, csvOut.peakKb});
                for (const std::string& file : {vcf, vcf + ".copy", csv, csv + ".sqlite3"})
                    std::remove(file.c_str());
            }
            if (!inWindow)
                continue;

            // In this process: the main window on the data file, reminder off, as a user leaves it.
            AppState state;
            state.env = Environment{&dialogs, &clock, &settings, data.dir};
            Frm_main window(state, data);
            window.Form_Load();
            window.show();
            QApplication::processEvents();
            MainView& view = window.view();
            Store& store = *state.Conn;
            const QString key = QStringLiteral("friend%1").arg(n / 2);
            ContactFields fields = *store.loadContact(key);
            int saves = 0;
            auto commitLimit = [&] {
                QElapsedTimer timer;
                timer.start();
                Transaction transaction = store.transaction();
                SQLite::Statement touch(storeDb(store), "update phone set 备注 = ? where friendid = ?");
                touch.bind(1, QStringLiteral("第%1轮").arg(round).toStdString());
                touch.bind(2, key.toStdString());
                touch.exec();
                transaction.commit();
                return rawRead(data.data, "select * from phone") + msSince(timer);
            };
            // A save from the record form: the row written, the tree rebuilt, the list refilled. The
            // paint that follows is timed on its own (it is the same for any way of filling the list).
            auto save = [&](Row& row, const QString& group, int sortColumn) {
                state.CurrentGroup = group;
                state.CurrentContactId = key;
                state.ListSource = ListShows::node();
                state.EditFlag = false;
                view.list->setSort(sortColumn, Qt::AscendingOrder);
                fields.remarks = QStringLiteral("第%1次保存").arg(++saves);
                QElapsedTimer timer;
                timer.start();
                store.updateContact(key, fields);
                LoadGroupTree(view);
                SelectCurrentNode(view);
                if (group == keys::Root)
                    ListAllContacts(view);
                else
                    RefreshContactList(view);
                const double ms = msSince(timer);
                timer.restart();
                QApplication::processEvents();
                paintRow.series.add(msSince(timer), msSince(timer));
                row.series.add(ms, commitLimit());
            };
            const QString biggestGroup = QStringLiteral("main1");
            save(saveAll, keys::Root, -1);
            save(saveSorted, keys::Root, 0);
            save(saveGroup, biggestGroup, -1);
            save(saveGroupSorted, biggestGroup, 0);
            view.list->setSort(-1, Qt::AscendingOrder);

            // A click on the name header: the list of everybody in pinyin order, against its refill.
            state.ListSource = ListShows::node();
            QElapsedTimer timer;
            timer.start();
            ListAllContacts(view);
            const double refill = msSince(timer);
            timer.restart();
            sortContactList(view, 0);
            sortName.series.add(msSince(timer), refill);
            view.list->setSort(-1, Qt::AscendingOrder);

            // The filter line: "wang" typed key by key over the list of everybody (its pinyin read
            // once, then each key narrows what the last one kept), against a refill of that list.
            ListAllContacts(view);
            timer.restart();
            for (const char* key : {"w", "a", "n", "g"})
                window.filterBar()->open(QLatin1String(key));
            filterRow.series.add(msSince(timer), refill);
            window.filterBar()->closeFilter();

            // 查询 ▸ 查找重复...: the groups of likely duplicates among everybody, against a refill.
            timer.restart();
            const size_t duplicateGroups = state.duplicates().size();
            duplicatesRow.series.add(msSince(timer), refill);
            if (duplicateGroups == 0)
                qWarning("no duplicates found among %d people", n);

            // A search on name and mobile.
            timer.restart();
            state.ListSource =
                ListShows::result(Query{QStringLiteral("姓名 like ? escape '\\' and 移动电话 like ? escape '\\'"),
                                        {QStringLiteral("%王%"), QStringLiteral("%13%")}});
            ListQueryResult(view);
            const double searched = msSince(timer);
            QApplication::processEvents();
            timer.restart();
            {
                sqlite3_stmt* s = nullptr;
                sqlite3_prepare_v2(storeDb(store).getHandle(),
                                   "select * from phone where 姓名 like '%王%' escape '\\' and 移动电话 like '%13%' "
                                   "escape '\\'",
                                   -1, &s, nullptr);
                while (sqlite3_step(s) == SQLITE_ROW)
                    for (int c = 0; c < sqlite3_column_count(s); ++c)
                        sqlite3_column_text(s, c);
                sqlite3_finalize(s);
            }
            search.series.add(searched, msSince(timer));

            // The reminder on the next day: the next-birthday pass and its list, against reading the
            // rows the pass reads and the rows the list shows.
            clock.set(clock.today().addDays(1));
            timer.restart();
            RunBirthdayReminder(view);
            const double reminded = msSince(timer);
            QApplication::processEvents();
            const QString today = storedDate(clock.today());
            const QString last = storedDate(clock.today().addDays(state.RemindDays));
            const double readBirthdays = rawRead(data.data, "select id, 生日, nowbirthday from phone");
            const std::string remindRead = "select * from phone where nowbirthday between '" + today.toStdString() +
                                           "' and '" + last.toStdString() + "'";
            reminderRow.series.add(reminded, readBirthdays + rawRead(data.data, remindRead.c_str()));
            window.close();
        }

        std::vector<const Row*> table{&raw};
        if (display)
            table.insert(table.end(), {&emptyPaint, &startOn, &startOff, &noKeys});
        if (inWindow)
            table.insert(table.end(), {&saveAll, &saveSorted, &saveGroup, &saveGroupSorted, &paintRow, &search,
                                       &sortName, &filterRow, &duplicatesRow, &reminderRow});
        if (exchange)
            table.insert(table.end(), {&importRow, &exportVcf, &exportCsv});
        for (const Row* row : table) {
            const std::vector<double> ratios = row->series.ratios();
            const double ratio = median(ratios);
            const bool met = row->goal == 0 || ratio <= row->goal;
            if (n == goalSize && !met)
                goalsMet = false;
            const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
            char spread[32];
            std::snprintf(spread, sizeof spread, "%.2f–%.2f", ratios.empty() ? 0 : *low, ratios.empty() ? 0 : *high);
            char goal[16] = "";
            if (row->goal > 0)
                std::snprintf(goal, sizeof goal, "%.1f", row->goal);
            std::printf("%-8d %-40s %10.1f %10.1f %7.2f %13s %5s%s\n", n, row->name.c_str(),
                        median(row->series.measured), median(row->series.limit), ratio, spread, goal,
                        met ? "" : "  MISSED");
            medians[row->name][n] = median(row->series.measured);
        }
        if (display && detail)
            std::printf("  start-up, reminder off: first paint %.1f ms, filled %.1f ms (medians)\n",
                        median(firstPaints), median(filledPaints));
        auto mb = [](long kb) { return static_cast<double>(kb) / 1024.0; };
        const std::vector<std::tuple<const char*, long, double>> peaks{{"peak memory, start-up", peakStart, 400},
                                                                       {"peak memory, import", peakImport, 250},
                                                                       {"peak memory, export", peakExport, 250}};
        for (const auto& [what, kb, goal] : peaks) {
            if (kb <= 0)
                continue;
            const bool met = mb(kb) <= goal || n < 1000000;
            std::printf("%-8d %-40s %7.1f MB (goal at 1,000,000: %.0f MB)%s\n", n, what, mb(kb), goal,
                        met ? "" : "  MISSED");
            goalsMet = goalsMet && met;
        }
        std::fflush(stdout);
    }
    // Growth from one size to the next: every time at most linear (ten times the contacts, at most
    // eleven times the time).
    for (size_t i = 1; i < sizes.size(); ++i) {
        const int from = sizes[i - 1], to = sizes[i];
        const double allowed = 1.1 * to / from;
        std::printf("\ngrowth %d -> %d (at most %.1f)\n", from, to, allowed);
        for (const auto& [name, bySize] : medians) {
            if (!bySize.count(from) || !bySize.count(to) || bySize.at(from) <= 0)
                continue;
            const double growth = bySize.at(to) / bySize.at(from);
            std::printf("  %-40s %6.1f%s\n", name.c_str(), growth, growth <= allowed ? "" : "  MISSED");
            if (to == 1000000 && growth > allowed)
                goalsMet = false;
        }
    }
    return goalsMet ? 0 : 1;
}
