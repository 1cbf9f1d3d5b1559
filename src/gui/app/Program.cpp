#include "gui/app/Program.h"

#include "gui/app/MainWindow.h"
#include "gui/app/QtDialogs.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "core/text/Clock.h"
#include "gui/reminder/DesktopNotification.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QTimer>

namespace {
// Chinese text needs a CJK font; the user's own choice stays first.
void preferChineseFont(QApplication& application) {
    const QStringList families = QFontDatabase::families();
    for (const char* candidate : {"Noto Sans CJK SC", "Noto Sans SC", "WenQuanYi Micro Hei", "Source Han Sans SC"}) {
        if (families.contains(QLatin1String(candidate))) {
            QFont font = application.font();
            font.setFamilies({QLatin1String(candidate), font.family()});
            application.setFont(font);
            return;
        }
    }
}
} // namespace

int runProgram(QApplication& application) {
    application.setApplicationName(QStringLiteral("zinteva"));
    application.setApplicationDisplayName(QString());
    preferChineseFont(application);

    QtDialogs shown;
    const QString messageLog = qEnvironmentVariable("ZINTEVA_MESSAGE_LOG");
    MessageLogDialogs logged(messageLog);
    Dialogs& dialogs = messageLog.isEmpty() ? static_cast<Dialogs&>(shown) : logged;
    SystemClock clock;
    Settings settings;
    AppState state;
    state.env = Environment{&dialogs, &clock, &settings, programDirectory()};

    const DataPaths paths = DataPaths::in(state.env.programDir);
    StartupGuard guard(paths);
    if (!guard.run(dialogs))
        return 1;

    Frm_main window(state, paths);
    if (!window.Form_Load())
        return 1;
    window.show();
    // Opened from the reminder's notification: on the reminder list, unless the start-up reminder
    // has just shown it.
    if (application.arguments().contains(QLatin1String(ShowReminderArgument)) && state.RemindAtStart != 1)
        QTimer::singleShot(0, &window, [&window] { window.Toolbar1_ButtonMenuClick(QStringLiteral("birthday")); });
    return application.exec();
}
