// The desktop's light or dark setting read through a settings portal on a bus of the test's own:
// the palette it brings, a change while the program runs, the older Read method, no portal at all;
// and the list's mark for a birthday today, readable on the list's background in both schemes.
#include "gui/app/MainWindow.h"
#include "gui/list/ContactListModel.h"
#include "gui/shared/ColourScheme.h"
#include "support/Fixture.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTreeView>

using colourscheme::Scheme;

namespace {
const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.Settings");

// A portal of version 2: ReadOne gives the value in one variant.
class Portal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    quint32 value = 0;
    QStringList asked;
public slots:
    QDBusVariant ReadOne(const QString& group, const QString& key) {
        asked << group + u' ' + key;
        return QDBusVariant(QVariant::fromValue(value));
    }
};

// A portal of version 1: only Read, whose value comes in a variant inside a variant.
class OldPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    quint32 value = 0;
public slots:
    QDBusVariant Read(const QString&, const QString&) {
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(value))));
    }
};

// Runs a portal object on its own connection and thread, as another process would answer.
class Served {
public:
    Served(const QString& address, QObject* portal) : portal_(portal) {
        bus_ = QDBusConnection::connectToBus(address, QStringLiteral("portal"));
        portal_->moveToThread(&thread_);
        thread_.start();
        bus_.registerObject(Path, portal_, QDBusConnection::ExportAllSlots);
        registered_ = bus_.registerService(Service);
    }
    ~Served() {
        bus_.unregisterService(Service);
        bus_.unregisterObject(Path);
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    }
    bool registered() const { return registered_; }
    void announce(quint32 value) {
        QDBusMessage signal = QDBusMessage::createSignal(Path, Interface, QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(QVariant::fromValue(value)));
        bus_.send(signal);
    }

private:
    QObject* portal_;
    QThread thread_;
    QDBusConnection bus_{QString()};
    bool registered_ = false;
};
} // namespace

class TestScheme : public QObject {
    Q_OBJECT
    QProcess bus_;
    QString address_;
    QPalette original_;

private slots:
    void initTestCase() {
        original_ = QApplication::palette();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        if (bus_.waitForStarted() && bus_.waitForReadyRead(10000))
            address_ = QString::fromLatin1(bus_.readLine()).trimmed();
    }
    void cleanupTestCase() {
        if (bus_.state() != QProcess::NotRunning) {
            bus_.terminate();
            bus_.waitForFinished(10000);
        }
    }
    void cleanup() {
        QApplication::setPalette(original_);
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }

    void followsThePortal_data() {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<bool>("old");
        QTest::addColumn<Scheme>("scheme");
        QTest::newRow("dark") << quint32(1) << false << Scheme::Dark;
        QTest::newRow("light") << quint32(2) << false << Scheme::Light;
        QTest::newRow("no preference: the platform's") << quint32(0) << false << Scheme::Light;
        QTest::newRow("dark through Read") << quint32(1) << true << Scheme::Dark;
    }
    void followsThePortal() {
        QFETCH(quint32, value);
        QFETCH(bool, old);
        QFETCH(Scheme, scheme);
        if (address_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        Portal portal;
        OldPortal oldPortal;
        portal.value = oldPortal.value = value;
        Served served(address_, old ? static_cast<QObject*>(&oldPortal) : &portal);
        QVERIFY(served.registered());
        DesktopScheme desktop(QDBusConnection::connectToBus(address_, QStringLiteral("client")));
        QCOMPARE(desktop.applied(), scheme);
        QCOMPARE(schemes::current(), scheme);
        QCOMPARE(QApplication::palette().color(QPalette::Base) == QColor::fromRgb(colourscheme::dark().base),
                 scheme == Scheme::Dark);
        if (!old)
            QCOMPARE(portal.asked, QStringList{QStringLiteral("org.freedesktop.appearance color-scheme")});
    }

    void noPortalKeepsThePlatformPalette() {
        if (address_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        const QColor base = QApplication::palette().color(QPalette::Base);
        DesktopScheme desktop(QDBusConnection::connectToBus(address_, QStringLiteral("client")));
        QVERIFY(!desktop.desktopPreference());
        QCOMPARE(QApplication::palette().color(QPalette::Base), base);
    }

    // The setting changed while the window is open: the palette follows, and the list's mark for
    // a birthday today with it, readable on the list's background each time.
    void windowFollowsAChange() {
        if (address_.isEmpty())
            QSKIP("dbus-daemon is not installed");
        Portal portal;
        portal.value = 2;
        Served served(address_, &portal);
        QVERIFY(served.registered());
        DesktopScheme desktop(QDBusConnection::connectToBus(address_, QStringLiteral("client")));
        QCOMPARE(desktop.applied(), Scheme::Light);

        Fixture fixture(QDate(2026, 12, 8));
        fixture.open();
        const QString group = fixture.addGroup(QStringLiteral("家人"));
        fixture.addContact(group, QStringLiteral("奶奶"), QDate(1940, 12, 8));
        Frm_main& window = fixture.window(true); // the start-up reminder lists her
        QCOMPARE(window.listModel()->rowCount(), 1);
        const QModelIndex row = window.listModel()->index(0, 0);
        QVERIFY(row.data(Qt::FontRole).value<QFont>().bold());
        auto readable = [&] {
            const QColor mark = row.data(Qt::ForegroundRole).value<QColor>();
            const QColor base = window.LV()->palette().color(QPalette::Base);
            return colourscheme::contrastRatio(mark.rgb() & 0xffffff, base.rgb() & 0xffffff);
        };
        const QColor light = row.data(Qt::ForegroundRole).value<QColor>();
        const QColor lightBase = window.LV()->palette().color(QPalette::Base);
        QVERIFY2(readable() >= 4.5, qPrintable(QString::number(readable())));

        // The application's palette changes first; the widgets take it up from their events.
        served.announce(1);
        QTRY_COMPARE(desktop.applied(), Scheme::Dark);
        QTRY_COMPARE(window.LV()->palette().color(QPalette::Base), QColor::fromRgb(colourscheme::dark().base));
        QVERIFY(row.data(Qt::ForegroundRole).value<QColor>() != light);
        QVERIFY2(readable() >= 4.5, qPrintable(QString::number(readable())));

        served.announce(0); // no preference: back to the platform's (light) palette
        QTRY_COMPARE(desktop.applied(), Scheme::Light);
        QTRY_COMPARE(window.LV()->palette().color(QPalette::Base), lightBase);
        QCOMPARE(row.data(Qt::ForegroundRole).value<QColor>(), light);
    }
};

QTEST_MAIN(TestScheme)
#include "tst_scheme.moc"
