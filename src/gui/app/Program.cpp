#include "gui/app/Program.h"

#include "gui/app/MainWindow.h"
#include "gui/app/QtDialogs.h"
#include "gui/app/Translations.h"
#include "gui/app/SessionEnd.h"
#include "gui/app/Commands.h"
#include "core/app/DataFolder.h"
#include "core/app/Settings.h"
#include "core/app/StartupGuard.h"
#include "core/app/Version.h"
#include "core/store/StopSignal.h"
#include "core/text/Clock.h"
#include "gui/reminder/DesktopNotification.h"
#include "gui/reminder/RunningWindow.h"
#include "gui/shared/ColourScheme.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QScopeGuard>
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
// Files handed over by the desktop (a .vcf or .csv opened with this program) are imported after
// the user agrees, into the group the import dialog would offer.
void importGivenFiles(MainView view, const QStringList& files) {
    for (const QString& file : files) {
        if (!view.state.Conn)
            return; // the window has closed in the meantime
        const QString path = QFileInfo(file).absoluteFilePath();
        importFile(view, path,
                   [&](const QString&, int cards, const std::vector<GroupRow>&,
                       const QString& defaultGroup) -> std::optional<QString> {
                       const Message ask{givenFileQuestion(path, cards), QStringLiteral("导入联系人"),
                                         MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};
                       if (view.state.env.dialogs->show(view.window, ask) != MsgAnswer::Yes)
                           return std::nullopt;
                       return defaultGroup;
                   });
    }
}
} // namespace

QString givenFileQuestion(const QString& path, int cards) {
    return QStringLiteral("要把文件 %1 中的 %2 个联系人导入通讯录吗?").arg(QDir::toNativeSeparators(path)).arg(cards);
}

int runProgram(QApplication& application) {
    application.setApplicationName(QStringLiteral("zinteva"));
    application.setApplicationVersion(QString::fromLatin1(zinteva::Version));
    application.setDesktopFileName(QStringLiteral("zinteva"));
    application.setApplicationDisplayName(QString());
    installChineseTranslations(application);
    preferChineseFont(application);
    // Light or dark as the desktop says, also when it changes while the program runs.
    DesktopScheme scheme;

    QtDialogs shown;
    const QString messageLog = qEnvironmentVariable("ZINTEVA_MESSAGE_LOG");
    MessageLogDialogs logged(messageLog);
    Dialogs& dialogs = messageLog.isEmpty() ? static_cast<Dialogs&>(shown) : logged;
    SystemClock clock;
    Settings settings;
    AppState state;
    const DataFolder folder = DataFolder::current();
    state.env = Environment{&dialogs, &clock, &settings, folder.dir};

    // From here on a logout or Ctrl+C closes the program in order instead of killing it.
    SessionEnd sessionEnd;
    // Once the run is over (the close step done, or start-up given up), a signal is ignored while
    // the process ends, instead of killing it on its way out after the handlers are gone.
    const auto ignoreAtEnd = qScopeGuard([] { StopSignal::ignoreFromNowOn(); });
    const DataPaths paths = DataPaths::in(state.env.programDir);
    // Opened from the reminder's notification while a window has this folder open: that window shows
    // the reminder, and this copy ends without the refusal a second copy would meet.
    const bool showReminder = application.arguments().contains(QLatin1String(ShowReminderArgument));
    if (showReminder && RunningWindow::showReminderIn(state.env.programDir))
        return 0;
    StartupGuard guard(paths);
    guard.setFirstStart([&folder](Dialogs& d) { return startAfresh(folder, d); });
    if (!guard.run(dialogs))
        return 1;
    markFolderUsed(folder);

    Frm_main window(state, paths);
    sessionEnd.setMainWindow(&window);
    {
        // The load step writes (the birthday pass, a restore over a damaged file) and may ask: a
        // signal meanwhile waits for it, then closes the window from the event loop.
        const SessionEnd::WriteScope loading;
        if (!window.Form_Load() || !guard.followDataFile(dialogs))
            return 1;
    }
    window.show();
    RunningWindow answering(
        window, [&window] { window.Toolbar1_ButtonMenuClick(QStringLiteral("birthday")); }, state.env.programDir);
    // Opened from the reminder's notification: on the reminder list, unless the start-up reminder
    // has just shown it.
    if (showReminder && state.RemindAtStart != 1)
        QTimer::singleShot(0, &window, [&window] { window.Toolbar1_ButtonMenuClick(QStringLiteral("birthday")); });
    // Arguments Qt has not taken for itself name files to import.
    QStringList files = application.arguments().mid(1);
    files.removeIf([](const QString& a) { return a.startsWith(QLatin1Char('-')); });
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] { importGivenFiles(window.view(), files); });
    return application.exec();
}
