// Failing writes, syncs and deletions: every save the program makes is run against a data file
// whose k-th write (or sync, or journal deletion) fails, for k = 1, 2, ... until the save gets
// through untouched; once with that one failure alone and once with every later one failing too.
// After each: a save that reported success is in the file, a save that failed threw StoreError,
// and the file passes integrity_check and holds the old state or the new one, nothing else.
#include "core/store/ContactFields.h"
#include "gui/app/MainWindow.h"
#include "core/app/Settings.h"
#include "core/exchange/ContactUid.h"
#include "core/exchange/Importer.h"
#include "core/exchange/VCardReader.h"
#include "gui/forms/RecordForm.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/Store.h"
#include "support/DbDump.h"
#include "support/FaultVfs.h"
#include "support/Fixture.h"
#include "support/Forms.h"
#include "support/TestFiles.h"
#include "gui/app/Commands.h"
#include "gui/tree/GroupTreeModel.h"
#include "support/StoreProbe.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTreeView>
#include <SQLiteCpp/SQLiteCpp.h>
#include <functional>

namespace {

// The data file as it was, without a journal that would roll something back into it.
void restoreDataFile(const QString& path, const QByteArray& bytes) {
    QFile::remove(path + QStringLiteral("-journal"));
    writeBytes(path, bytes);
}

ContactFields person(const QString& groupKey, const QString& name, int n) {
    ContactFields f = contact(groupKey, name);
    f.birthday = QDate(1980, 1 + n % 12, 1 + (n * 7) % 28);
    f.mobile = QStringLiteral("1390000%1").arg(n, 4, 10, QLatin1Char('0'));
    f.address = QStringLiteral("上海市 %1 号").arg(n);
    f.remarks = QString(200 + n * 10, QChar(u'记'));
    return f;
}

// The saves of the program, each on a data file with three groups and twelve people.
using Save = std::function<void(Store&)>;
struct NamedSave {
    const char* name;
    Save run;
    bool oldFile; // runs on a data file made before nowbirthday existed
};
const QList<NamedSave>& saves() {
    static const QList<NamedSave> all{
        {"add contact", [](Store& s) { s.addContact(person("main2", "新来的 O'Brien", 99)); }, false},
        {"update contact", [](Store& s) { s.updateContact("friend3", person("main3", "改过的", 42)); }, false},
        {"rename contact", [](Store& s) { s.renameContact("friend4", "新名字"); }, false},
        {"rename group", [](Store& s) { s.renameGroup("main1", "老同学"); }, false},
        {"delete contact", [](Store& s) { s.deleteContact("friend5"); }, false},
        {"delete group", [](Store& s) { s.deleteGroup("main2"); }, false},
        {"add group", [](Store& s) { s.addGroup("新的组"); }, false},
        {"birthday pass", [](Store& s) { ComputeNextBirthdays(s, QDate(2025, 6, 1), 10); }, false},
        {"birthday pass, old file", [](Store& s) { ComputeNextBirthdays(s, QDate(2025, 6, 1), 10); }, true},
        {"import two cards",
         [](Store& s) {
             const ImportBatch batch =
                 VCardReader::read("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:导入一\r\nTEL:1391\r\n"
                                   "CATEGORIES:新组\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\n"
                                   "FN:导入二\r\nBDAY:1990-05-17\r\nEND:VCARD\r\n");
             // The importer reports a refused write in its summary, not by throwing.
             const ImportSummary summary = Importer(s, QStringLiteral("/nonexistent/tavrel.mdb")).run(batch, {});
             if (!summary.failure.isEmpty())
                 throw StoreError(summary.failure.toStdString());
         },
         false},
    };
    return all;
}

struct Mode {
    FaultVfs::Kind kind;
    int errorCode; // 0: the kind's own I/O error
    const char* name;
};
const QList<Mode>& modes() {
    static const QList<Mode> all{
        {FaultVfs::Kind::Write, 0, "write"},
        {FaultVfs::Kind::Write, SQLITE_FULL, "write, disk full"},
        {FaultVfs::Kind::Sync, 0, "sync"},
        {FaultVfs::Kind::Delete, 0, "journal deletion"},
    };
    return all;
}

} // namespace

class TestSafetyFaults : public QObject {
    Q_OBJECT

    FaultVfs vfs;
    // Every fault point copies a data file and syncs it several times; whether the syncs reach a
    // disk does not matter here (the VFS decides which fail), so a memory filesystem is used where
    // there is one, which keeps the run short on a busy machine.
    QTemporaryDir dir{QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                          ? QStringLiteral("/dev/shm/zinteva-faults-XXXXXX")
                          : QDir::temp().filePath(QStringLiteral("zinteva-faults-XXXXXX"))};
    QByteArray current; // the data file before each save
    QByteArray old;     // the same, made before nowbirthday existed
    int faultPoints = 0;
    int windowFaultPoints = 0;

    QString work() const { return dir.filePath(QStringLiteral("tavrel.mdb")); }

    // The state after the save, and the states a failed save may leave.
    QStringList statesAfter(const NamedSave& save, QString* after, bool inWindow = false) {
        restoreDataFile(work(), save.oldFile ? old : current);
        QStringList allowed{dumpFile(work())};
        if (save.oldFile) {
            // The upgrade commits on its own before the pass, so the file may hold it alone.
            Store::open(work())->addNextBirthdayColumn();
            allowed << dumpFile(work());
            restoreDataFile(work(), old);
        }
        {
            // In the window a deleted person is kept among the recently deleted.
            const std::unique_ptr<Store> store = Store::open(work());
            if (inWindow)
                store->enableHistory();
            save.run(*store);
        }
        *after = dumpFile(work());
        allowed << *after;
        return allowed;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        Fixture fx;
        Store& store = fx.open();
        for (const char* group : {"同学", "朋友", "同事"})
            store.addGroup(group);
        for (int n = 1; n <= 12; ++n)
            store.addContact(person(QStringLiteral("main%1").arg(1 + n % 3), QStringLiteral("人%1").arg(n), n));
        ComputeNextBirthdays(store, QDate(2024, 1, 1), 10);
        // The file's random part of the card UIDs is made once here, so that every import below
        // writes the same thing.
        QVERIFY(!ContactUid::filePart(store, true).isEmpty());
        fx.state.Conn.reset();
        current = bytesOf(fx.paths.data);
        restoreDataFile(work(), current);
        {
            SQLite::Database db(work().toStdString(), SQLite::OPEN_READWRITE);
            // Older files had neither the column nor the indexes on it.
            QStringList indexes;
            SQLite::Statement onColumn(
                db, "select name from sqlite_master where type = 'index' and sql like '%nowbirthday%'");
            while (onColumn.executeStep())
                indexes << QString::fromStdString(onColumn.getColumn(0).getString());
            onColumn.reset();
            for (const QString& index : indexes)
                db.exec(QStringLiteral("drop index \"%1\"").arg(index).toStdString());
            db.exec("alter table phone drop column nowbirthday");
        }
        old = bytesOf(work());
        QVERIFY(!Store::open(work())->hasNextBirthdayColumn());
    }

    void failingSave_data() {
        QTest::addColumn<int>("save");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("persistent");
        for (int s = 0; s < saves().size(); ++s) {
            for (int m = 0; m < modes().size(); ++m) {
                for (bool persistent : {false, true})
                    QTest::addRow("%s, %s, %s", saves()[s].name, modes()[m].name, persistent ? "for good" : "once")
                        << s << m << persistent;
            }
        }
    }
    void failingSave() {
        QFETCH(int, save);
        QFETCH(int, mode);
        QFETCH(bool, persistent);
        const NamedSave& what = saves()[save];
        const Mode how = modes()[mode];
        QString after;
        const QStringList allowed = statesAfter(what, &after);
        const QString before = allowed.first();
        QVERIFY(after != before);

        constexpr int MaxPoints = 400;
        int k = 1;
        for (; k <= MaxPoints; ++k) {
            const QString where =
                QStringLiteral("%1 #%2").arg(QString::fromLatin1(FaultVfs::kindName(how.kind))).arg(k);
            restoreDataFile(work(), what.oldFile ? old : current);
            bool threw = false;
            QString error;
            int injected = 0;
            {
                std::unique_ptr<Store> store = Store::open(work(), OpenOptions{vfs.name(), false});
                vfs.arm(how.kind, k, persistent, how.errorCode);
                try {
                    what.run(*store);
                } catch (const StoreError& e) {
                    threw = true;
                    error = e.message();
                }
                injected = vfs.injected();
                if (!persistent) {
                    vfs.disarm();
                    // The program keeps its one connection after a failed save: the file must be
                    // whole at once, the connection must read what the file holds, and the same
                    // save tried again must get through.
                    const QString seen = dumpFile(work());
                    QVERIFY2(allowed.contains(seen),
                             qPrintable(where + ": after the failure the file holds:\n" + seen));
                    QCOMPARE(dumpDatabase(storeDb(*store).getHandle()), seen);
                    if (threw && seen != after) {
                        try {
                            what.run(*store);
                        } catch (const StoreError& e) {
                            QFAIL(qPrintable(where + ": trying again failed: " + e.message()));
                        }
                        threw = false;
                    }
                }
                store.reset(); // closed while the faults go on, when they go on for good
                vfs.disarm();
            }
            if (injected == 0) {
                QVERIFY2(!threw, qPrintable(where + ": failed without a fault: " + error));
                QCOMPARE(dumpFile(work()), after);
                break;
            }
            ++faultPoints;
            const QString integrity = integrityOfFile(work());
            QVERIFY2(integrity == QStringLiteral("ok"), qPrintable(where + ": " + integrity));
            const QString found = dumpFile(work());
            if (threw)
                QVERIFY2(allowed.contains(found), qPrintable(where + ": the file holds neither state:\n" + found));
            else
                QVERIFY2(found == after, qPrintable(where + ": reported success but the file holds:\n" + found));
        }
        QVERIFY2(k > 1, "the save never reached the file");
        QVERIFY2(k <= MaxPoints, "the save never got through");
    }

    // The load step's birthday pass through the window: the user is told, the list still opens,
    // and the close step leaves a backup that is whole.
    void failingStartupPassIsTold_data() {
        QTest::addColumn<bool>("persistent");
        QTest::newRow("once") << false;
        QTest::newRow("for good") << true;
    }
    void failingStartupPassIsTold() {
        QFETCH(bool, persistent);
        QString after;
        const QStringList allowed = statesAfter(saves()[7], &after);
        int k = 1;
        for (; k <= 200; ++k) {
            const QString where = QStringLiteral("write #%1").arg(k);
            Fixture fx(QDate(2025, 6, 1));
            restoreDataFile(fx.paths.data, current);
            QVERIFY(QFile::copy(fx.paths.data, fx.paths.backup));
            const QByteArray backup = bytesOf(fx.paths.backup);
            fx.settings->setText(setting::Birthday, QStringLiteral("1"));
            fx.state.storeOptions.vfs = vfs.name();
            vfs.arm(FaultVfs::Kind::Write, k, persistent);
            Frm_main& window = fx.window(true);
            const int injected = vfs.injected();
            QVERIFY(fx.state.Conn);
            const QStringList texts = fx.dialogs.texts();
            const bool told = !texts.isEmpty() && texts.first().startsWith(QStringLiteral("生日提醒失败: "));
            window.close();
            vfs.disarm();
            if (injected == 0) {
                QVERIFY2(!told, qPrintable(texts.join('\n')));
                break;
            }
            ++windowFaultPoints;
            QVERIFY2(told, qPrintable(where + ": the user was not told; messages: " + texts.join('\n')));
            QCOMPARE(fx.dialogs.messages.first().icon, MsgIcon::Warning);
            QCOMPARE(integrityOfFile(fx.paths.data), QStringLiteral("ok"));
            QVERIFY2(allowed.contains(dumpFile(fx.paths.data)), qPrintable(where));
            // The backup is the old one untouched, or a whole copy of the data file.
            const QByteArray now = bytesOf(fx.paths.backup);
            if (now != backup) {
                QCOMPARE(integrityOfFile(fx.paths.backup), QStringLiteral("ok"));
                QVERIFY2(allowed.contains(dumpFile(fx.paths.backup)), qPrintable(where));
            }
            QVERIFY(!QFile::exists(fx.paths.backup + QStringLiteral(".tmp")));
        }
        QVERIFY(k > 1);
        QVERIFY(k <= 200);
    }

    // The group commands of the main window: when the data file refuses the change the user is
    // told, and the tree never shows a name or a node that the file does not hold.
    void failingGroupCommandIsTold_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("persistent");
        const char* names[] = {"add group", "delete group", "delete contact", "rename group", "rename contact"};
        for (int c = 0; c < 5; ++c) {
            for (bool persistent : {false, true})
                QTest::addRow("%s, %s", names[c], persistent ? "for good" : "once") << c << persistent;
        }
    }
    void failingGroupCommandIsTold() {
        QFETCH(int, command);
        QFETCH(bool, persistent);
        // The same change made straight through the store gives the state the file may end in.
        const int saveOf[] = {6, 5, 4, 3, 2};
        const char* toldText[] = {"分组没有添加。\n", "没有删除。\n", "没有删除。\n",
                                  "新名称没有保存,仍用原来的名称。\n", "新名称没有保存,仍用原来的名称。\n"};
        QString after;
        const QStringList allowed = statesAfter(saves()[saveOf[command]], &after, true);
        const QString before = allowed.first();
        int k = 1;
        for (; k <= 200; ++k) {
            const QString where = QStringLiteral("write #%1").arg(k);
            Fixture fx;
            restoreDataFile(fx.paths.data, current);
            fx.state.storeOptions.vfs = vfs.name();
            Frm_main& window = fx.window();
            MainView& view = window.view();
            GroupTreeModel* tree = window.treeModel();
            vfs.arm(FaultVfs::Kind::Write, k, persistent);
            switch (command) {
            case 0:
                fx.state.NewGroupName = QStringLiteral("新的组");
                Addnewgroup(view);
                break;
            case 1:
            case 2:
                window.TV()->setCurrentIndex(tree->indexForKey(command == 1 ? "main2" : "friend5"));
                Tv_dele(view);
                break;
            case 3:
                TV_AfterLabelEdit(view, QStringLiteral("main1"), QStringLiteral("老同学"));
                break;
            case 4:
                TV_AfterLabelEdit(view, QStringLiteral("friend4"), QStringLiteral("新名字"));
                break;
            }
            const int injected = vfs.injected();
            const QList<Message> messages = fx.dialogs.messages;
            // What the tree shows: every group's name, and every person's name by key.
            std::map<QString, QString> shown;
            const QModelIndex root = tree->rootIndex();
            for (int g = 0; g < tree->rowCount(root); ++g) {
                const QModelIndex group = tree->index(g, 0, root);
                shown[tree->keyOf(group)] = group.data().toString();
                for (int p = 0; p < tree->rowCount(group); ++p) {
                    const QModelIndex person = tree->index(p, 0, group);
                    shown[tree->keyOf(person)] = person.data().toString();
                }
            }
            fx.closeWindow();
            vfs.disarm();
            if (injected == 0) {
                QVERIFY2(messages.isEmpty(), qPrintable(messages.value(0).text));
                QCOMPARE(dumpFile(fx.paths.data), after);
                break;
            }
            ++windowFaultPoints;
            QCOMPARE(integrityOfFile(fx.paths.data), QStringLiteral("ok"));
            const QString found = dumpFile(fx.paths.data);
            QVERIFY2(allowed.contains(found), qPrintable(where + ": the file holds neither state"));
            if (found == before)
                QVERIFY2(!messages.isEmpty(), qPrintable(where + ": the change was lost and the user not told"));
            if (!messages.isEmpty()) {
                QVERIFY2(messages.first().text.startsWith(QString::fromUtf8(toldText[command])),
                         qPrintable(where + ": " + messages.first().text));
                QCOMPARE(messages.first().icon, MsgIcon::Warning);
            }
            auto store = Store::open(fx.paths.data);
            std::map<QString, QString> stored;
            for (const GroupRow& group : store->groups())
                stored[group.key] = group.name;
            store->forEachTreeContact([&](std::string_view key, std::string_view, std::string_view name) {
                stored[QString::fromUtf8(key.data(), qsizetype(key.size()))] =
                    QString::fromUtf8(name.data(), qsizetype(name.size()));
            });
            for (const auto& [key, name] : shown) {
                QVERIFY2(stored.count(key), qPrintable(where + ": the tree shows " + key + ", which is not stored"));
                QVERIFY2(stored.at(key) == name, qPrintable(where + ": the tree shows " + key + " as " + name +
                                                            ", stored is " + stored.at(key)));
            }
        }
        QVERIFY(k > 1);
        QVERIFY(k <= 200);
    }

    // The record form's save under failing writes: when the person is not saved the user is told,
    // the form stays open and every box still holds what was typed.
    void failingRecordFormKeepsWhatWasTyped_data() {
        QTest::addColumn<bool>("update");
        QTest::addColumn<bool>("persistent");
        for (bool update : {false, true}) {
            for (bool persistent : {false, true})
                QTest::addRow("%s, %s", update ? "update" : "add", persistent ? "for good" : "once")
                    << update << persistent;
        }
    }
    void failingRecordFormKeepsWhatWasTyped() {
        QFETCH(bool, update);
        QFETCH(bool, persistent);
        const QStringList typed{QStringLiteral("王小明 O'Neil"),
                                QStringLiteral("1985-07-21"),
                                QStringLiteral("13912345678"),
                                QStringLiteral("010-1234"),
                                QString(),
                                QString(),
                                QStringLiteral("北京市 100%_路"),
                                QStringLiteral("100080"),
                                QString(),
                                QString(),
                                QString(),
                                QStringLiteral("wang@example.org"),
                                QStringLiteral("小明"),
                                QString(3000, QChar(u'记'))};
        // Runs the form once; returns what the user saw and leaves the file as the save left it.
        struct Outcome {
            int injected = 0;
            QList<Message> messages;
            bool open = false;
            bool kept = true; // an open form still holds every typed text
        };
        auto run = [&](Fixture& fx, int k) {
            restoreDataFile(fx.paths.data, current);
            fx.state.storeOptions.vfs = vfs.name();
            Frm_main& window = fx.window();
            fx.state.EditFlag = !update;
            fx.state.CurrentContactId = QStringLiteral("friend3");
            QPointer<frm_detail> form =
                new frm_detail(window.view(), update ? frm_detail::Mode::Update : frm_detail::Mode::Add);
            if (update)
                form->showContact(*fx.state.Conn->loadContact(QStringLiteral("friend3")));
            form->show();
            for (int n = 1; n <= typed.size(); ++n)
                box(*form, n)->setText(typed[n - 1]);
            groupChoice(*form)->setCurrentIndex(1);
            QStringList before;
            for (int n = 1; n <= typed.size(); ++n)
                before << box(*form, n)->text();
            if (k > 0)
                vfs.arm(FaultVfs::Kind::Write, k, persistent);
            form->Toolbar1_ButtonClick(QStringLiteral("savebutt"));
            Outcome o;
            o.injected = vfs.injected();
            o.messages = fx.dialogs.messages;
            o.open = form && form->isVisible();
            if (o.open) {
                QStringList now;
                for (int n = 1; n <= typed.size(); ++n)
                    now << box(*form, n)->text();
                o.kept = now == before;
            }
            fx.closeWindow();
            vfs.disarm();
            return o;
        };
        QString before, after;
        {
            Fixture fx;
            restoreDataFile(fx.paths.data, current);
            before = dumpFile(fx.paths.data);
            const Outcome o = run(fx, 0);
            QVERIFY(!o.open && o.messages.isEmpty());
            after = dumpFile(fx.paths.data);
            QVERIFY(after != before);
        }
        int k = 1;
        for (; k <= 200; ++k) {
            const QString where = QStringLiteral("write #%1").arg(k);
            Fixture fx;
            const Outcome o = run(fx, k);
            QVERIFY2(o.kept, qPrintable(where + ": the form did not keep what was typed"));
            if (o.injected == 0) {
                QVERIFY(!o.open);
                QCOMPARE(dumpFile(fx.paths.data), after);
                break;
            }
            ++windowFaultPoints;
            QCOMPARE(integrityOfFile(fx.paths.data), QStringLiteral("ok"));
            const QString found = dumpFile(fx.paths.data);
            QVERIFY2(found == before || found == after, qPrintable(where + ": the file holds neither state"));
            if (found == before) {
                QVERIFY2(o.open, qPrintable(where + ": the person was not saved, yet the form closed"));
                QVERIFY2(!o.messages.isEmpty() && o.messages.first().text.startsWith(QStringLiteral("资料没有保存: ")),
                         qPrintable(where + ": the user was not told"));
            }
            if (o.open)
                QVERIFY2(!o.messages.isEmpty(), qPrintable(where + ": the form stayed open without a word"));
        }
        QVERIFY(k > 1);
        QVERIFY(k <= 200);
    }

    void cleanupTestCase() {
        qInfo("fault points injected: %d into the store's saves, %d into the window's start-up pass, group commands "
              "and record form",
              faultPoints, windowFaultPoints);
    }
};

QTEST_MAIN(TestSafetyFaults)
#include "tst_safety_faults.moc"
