// zinteva-bench: each measurement of the program against its physical limit, at 1,000, 10,000 and
// 100,000 contacts. Rounds alternate between the measurement and its limit; medians are compared.
// Exits 1 when a ratio at the largest size misses its goal.
#include "SyntheticDirectory.h"

#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "gui/app/Commands.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListFilterBar.h"
#include "core/rules/NextBirthdays.h"
#include "core/text/Clock.h"
#include "core/app/Messages.h"
#include "core/store/Store.h"
#include "core/store/Transaction.h"
#include "support/StoreProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

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
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// The limit: every row and column of phone read with the C API, values untouched.
double rawRead(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "select * from phone", -1, &statement, nullptr);
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

struct World {
    SilentDialogs dialogs;
    FixedClock clock{QDate(2026, 12, 7)};
    std::unique_ptr<Settings> settings;
    AppState state;
    DataPaths paths;
};

// What changed is painted, as the event loop would after a change.
void paint(QWidget&) {
    QApplication::processEvents();
}

struct Row {
    QString name;
    double measured, limit, goal;
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    std::vector<int> sizes{1000, 10000, 100000};
    int rounds = 5;
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& n : arguments[i + 1].split(QLatin1Char(',')))
                sizes.push_back(n.toInt());
        } else if (arguments[i] == QLatin1String("--rounds")) {
            rounds = std::max(1, arguments[i + 1].toInt());
        }
    }

    bool goalsMet = true;
    std::printf("%-10s %-28s %12s %12s %8s %6s\n", "contacts", "measurement", "median ms", "limit ms", "ratio", "goal");
    for (const int n : sizes) {
        QTemporaryDir dir;
        World world;
        world.paths = DataPaths::in(dir.path());
        world.settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("settings.ini")));
        world.settings->setText(setting::Birthday, QStringLiteral("1"));
        world.state.env = Environment{&world.dialogs, &world.clock, world.settings.get(), dir.path()};
        Store::createEmpty(world.paths.data);
        fillSyntheticDirectory(*Store::open(world.paths.data), n);
        QDir(dir.path()).mkdir(QStringLiteral("empty"));
        const DataPaths emptyPaths = DataPaths::in(dir.filePath(QStringLiteral("empty")));
        Store::createEmpty(emptyPaths.data);

        std::vector<double> raw, startup, emptyPaint, save, commit, search, searchLimit, reminder, reminderLimit;
        std::vector<double> refill, sortByName, filterTyping;
        long memoryAfterStart = 0, memoryAfterSaves = 0;
        for (int round = 0; round < rounds; ++round) {
            raw.push_back(rawRead(world.paths.data));

            // The limit's window: the main window on an empty data file, loaded, shown and painted.
            QElapsedTimer timer;
            timer.start();
            {
                AppState emptyState;
                emptyState.env = world.state.env;
                Frm_main empty(emptyState, emptyPaths);
                empty.Form_Load();
                empty.show();
                empty.repaint();
                emptyPaint.push_back(msSince(timer));
                paint(empty);
                empty.close();
            }

            timer.restart();
            Frm_main window(world.state, world.paths);
            const double constructed = msSince(timer);
            window.Form_Load();
            const double loaded = msSince(timer);
            window.show();
            window.repaint(); // the first paint is the whole window
            startup.push_back(msSince(timer));
            paint(window); // what the load step left for later (the pinyin key check) runs now
            if (qEnvironmentVariableIsSet("ZINTEVA_BENCH_DETAIL"))
                std::printf("  start-up: window %.1f ms, load step %.1f ms, shown and painted %.1f ms\n", constructed,
                            loaded, startup.back());
            memoryAfterStart = std::max(memoryAfterStart, peakResidentKb());

            MainView& view = window.view();
            Store& store = *world.state.Conn;
            if (qEnvironmentVariableIsSet("ZINTEVA_BENCH_DETAIL")) {
                auto step = [&](const char* what, const std::function<void()>& work) {
                    timer.restart();
                    work();
                    std::printf("  %-24s %8.1f ms\n", what, msSince(timer));
                };
                step("tree rebuild", [&] { LoadGroupTree(view); });
                step("list of everybody", [&] { ListAllContacts(view); });
                step("paint", [&] { paint(window); });
                step("next-birthday pass",
                     [&] { ComputeNextBirthdays(store, world.clock.today(), world.state.RemindDays); });
                step("reminder, pass and list", [&] { RunBirthdayReminder(view); });
                step("count", [&] { store.contactCount(); });
                RowTable everybody;
                step("read everybody", [&] { store.listAll(everybody); });
                step("show everybody", [&] { showRows(view, std::move(everybody), 3); });
                step("paint after refill", [&] { paint(window); });
                const Query probe{QStringLiteral("姓名 like ? escape '\\' and 移动电话 like ? escape '\\'"),
                                  {QStringLiteral("%王%"), QStringLiteral("%13%")}};
                RowTable found;
                step("search read", [&] { store.listQuery(probe, found); });
                step("search show", [&] { showRows(view, std::move(found), 1); });
                step("search paint", [&] { paint(window); });
                step("read tree rows", [&] {
                    size_t bytes = 0;
                    store.forEachTreeContact([&](std::string_view k, std::string_view g, std::string_view n) {
                        bytes += k.size() + g.size() + n.size();
                    });
                });
            }
            const QString key = QStringLiteral("friend%1").arg(n / 2);
            ContactFields fields = *store.loadContact(key);

            // A save: the row written, the tree rebuilt, the list of everybody refilled and repainted.
            for (int s = 0; s < 10; ++s) {
                fields.remarks = QStringLiteral("第%1次保存").arg(round * 10 + s);
                timer.restart();
                store.updateContact(key, fields);
                const double written = msSince(timer);
                world.state.CurrentGroup = QStringLiteral("root");
                world.state.ListSource = ListShows::node();
                LoadGroupTree(view);
                SelectCurrentNode(view);
                const double rebuilt = msSince(timer);
                ListAllContacts(view);
                const double refilled = msSince(timer);
                paint(window);
                if (s == 0) {
                    save.push_back(msSince(timer));
                    if (qEnvironmentVariableIsSet("ZINTEVA_BENCH_DETAIL"))
                        std::printf("  save: written %.1f, tree %.1f, list %.1f, painted %.1f ms\n", written,
                                    rebuilt - written, refilled - rebuilt, save.back() - refilled);
                }
            }
            memoryAfterSaves = std::max(memoryAfterSaves, peakResidentKb());
            timer.restart();
            {
                Transaction transaction = store.transaction();
                // A real change: SQLite writes nothing for a row rewritten with the same values.
                SQLite::Statement touch(storeDb(store), "update phone set 备注 = ? where friendid = ?");
                touch.bind(1, QStringLiteral("第%1轮").arg(round).toStdString());
                touch.bind(2, key.toStdString());
                touch.exec();
                transaction.commit();
            }
            commit.push_back(msSince(timer));

            // A click on the name header: the list of everybody in pinyin order, against its refill.
            world.state.ListSource = ListShows::node();
            timer.restart();
            ListAllContacts(view);
            refill.push_back(msSince(timer));
            timer.restart();
            sortContactList(view, 0);
            sortByName.push_back(msSince(timer));
            view.list->setSort(-1, Qt::AscendingOrder); // the other measurements see the data file's order

            // The filter line: "wang" typed key by key over the list of everybody (its pinyin read
            // once, then each key narrows what the last one kept), against a refill of that list.
            ListAllContacts(view);
            timer.restart();
            for (const char* key : {"w", "a", "n", "g"})
                window.filterBar()->open(QLatin1String(key));
            filterTyping.push_back(msSince(timer));
            window.filterBar()->closeFilter();

            // A search on name and mobile.
            const Query query{QStringLiteral("姓名 like ? escape '\\' and 移动电话 like ? escape '\\'"),
                              {QStringLiteral("%王%"), QStringLiteral("%13%")}};
            timer.restart();
            world.state.ListSource = ListShows::result(query);
            ListQueryResult(view); // the statement run and the list refilled
            search.push_back(msSince(timer));
            paint(window);
            timer.restart();
            {
                SQLite::Statement statement(storeDb(store),
                                            "select * from phone where 姓名 like ? escape '\\' and 移动电话 like ? "
                                            "escape '\\'");
                statement.bind(1, "%王%");
                statement.bind(2, "%13%");
                while (statement.executeStep()) {
                    for (int c = 0; c < statement.getColumnCount(); ++c)
                        statement.getColumn(c).getText();
                }
            }
            searchLimit.push_back(msSince(timer));

            // The reminder: the next-birthday pass and the reminder list.
            timer.restart();
            RunBirthdayReminder(view);
            paint(window);
            reminder.push_back(msSince(timer));
            timer.restart();
            {
                Transaction transaction = store.transaction();
                // Every row written back with the value it has, so the next round starts from the same file.
                SQLite::Statement read(storeDb(store), "select id, 生日, nowbirthday from phone");
                SQLite::Statement write(storeDb(store), "update phone set nowbirthday = ? where id = ?");
                while (read.executeStep()) {
                    if (read.getColumn(2).isNull())
                        write.bind(1);
                    else
                        write.bind(1, read.getColumn(2).getText());
                    write.bind(2, read.getColumn(0).getInt64());
                    write.exec();
                    write.reset();
                }
                transaction.commit();
                SQLite::Statement remind(storeDb(store), "select * from phone where nowbirthday between ? and ?");
                remind.bind(1, "2026-12-07");
                remind.bind(2, "2026-12-17");
                while (remind.executeStep()) {
                }
            }
            reminderLimit.push_back(msSince(timer));

            window.close();
        }

        const double rawMedian = median(raw);
        const std::vector<Row> rows{
            {"raw read (limit)", rawMedian, rawMedian, 0},
            {"start-up to painted window", median(startup), rawMedian + median(emptyPaint), 2.0},
            {"  (empty window, loaded)", median(emptyPaint), median(emptyPaint), 0},
            {"save: rebuild+refill+paint", median(save), rawMedian + median(commit), 1.5},
            {"search: name and mobile", median(search), median(searchLimit), 1.5},
            {"reminder: pass + list", median(reminder), median(reminderLimit), 1.5},
            {"sort by name (vs refill)", median(sortByName), median(refill), 1.0},
            {"filter: 4 keys (vs refill)", median(filterTyping), median(refill), 1.0},
        };
        for (const Row& row : rows) {
            const double ratio = row.measured / row.limit;
            const bool met = row.goal == 0 || ratio <= row.goal;
            if (n == sizes.back() && !met)
                goalsMet = false;
            std::printf("%-10d %-28s %12.1f %12.1f %8.2f %6s%s\n", n, row.name.toUtf8().constData(), row.measured,
                        row.limit, ratio, row.goal == 0 ? "" : QString::number(row.goal, 'f', 1).toUtf8().constData(),
                        met ? "" : "  MISSED");
        }
        const double peakMb = static_cast<double>(std::max(memoryAfterStart, memoryAfterSaves)) / 1024.0;
        std::printf("%-10d %-28s %9.1f MB (after start-up %.1f MB, after ten saves %.1f MB; goal 150 MB)%s\n", n,
                    "peak resident memory", peakMb, static_cast<double>(memoryAfterStart) / 1024.0,
                    static_cast<double>(memoryAfterSaves) / 1024.0, peakMb <= 150 ? "" : "  MISSED");
        if (n == sizes.back() && peakMb > 150)
            goalsMet = false;
        std::fflush(stdout);
    }
    return goalsMet ? 0 : 1;
}
