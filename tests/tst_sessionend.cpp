// A signal that arrives while a dialog is open: the dialog is cancelled first, so that the code
// that opened it returns before the window's close step releases the data file; then the window
// closes once and the event loop ends. The signal is raised in this process: the handler turns it
// into an event, so the test goes on.
#include "gui/app/SessionEnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace {

class CountingWindow : public QWidget {
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closes;
        event->accept();
    }
};

} // namespace

class TestSessionEnd : public QObject {
    Q_OBJECT

private slots:
    void signalCancelsDialogsThenClosesTheWindow_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("dialogs"); // nested modal dialogs open when the signal comes
        QTest::newRow("SIGTERM, no dialog") << int(SIGTERM) << 0;
        QTest::newRow("SIGTERM, a form") << int(SIGTERM) << 1;
        QTest::newRow("SIGINT, a question over a form") << int(SIGINT) << 2;
        QTest::newRow("SIGHUP, a form") << int(SIGHUP) << 1;
    }
    void signalCancelsDialogsThenClosesTheWindow() {
        QFETCH(int, signal);
        QFETCH(int, dialogs);
        SessionEnd sessionEnd;
        CountingWindow window;
        window.show();
        sessionEnd.setMainWindow(&window);

        QList<int> results;
        int closesSeenByDialogCode = -1;
        std::function<void(int)> openDialog = [&](int depth) {
            QDialog dialog(&window);
            if (depth < dialogs)
                QTimer::singleShot(0, &dialog, [&, depth] { openDialog(depth + 1); });
            else
                QTimer::singleShot(0, [signal] { std::raise(signal); });
            results.append(dialog.exec());
            // What the code after a dialog sees: the window has not run its close step yet.
            if (depth == 1)
                closesSeenByDialogCode = window.closes;
        };
        if (dialogs > 0)
            QTimer::singleShot(0, &window, [&] { openDialog(1); });
        else
            QTimer::singleShot(0, [signal] { std::raise(signal); });

        QTimer hang;
        hang.setSingleShot(true);
        connect(&hang, &QTimer::timeout, qApp, [] { QApplication::exit(99); });
        hang.start(60000); // fails only on a hang
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(sessionEnd.requested());
        QCOMPARE(sessionEnd.signalNumber(), signal);
        QCOMPARE(window.closes, 1);
        QCOMPARE(results, QList<int>(dialogs, QDialog::Rejected));
        if (dialogs > 0)
            QCOMPARE(closesSeenByDialogCode, 0);
    }
};

QTEST_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
