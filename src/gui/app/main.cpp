#include "core/app/CommandLine.h"
#include "core/app/Settings.h"
#include "core/sync/SyncCommand.h"
#include "gui/app/Program.h"
#include "gui/sync/Keyring.h"
#include "gui/sync/SyncAccountSettings.h"
#include "core/app/DataFolder.h"
#include "core/store/DataFiles.h"
#include "core/store/StopSignal.h"
#include "gui/reminder/DesktopNotification.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    // --import, --export, --sync and --remind run without a window, so they work without a display too.
    {
        QCoreApplication console(argc, argv);
        // SIGTERM, SIGINT and SIGHUP from here on stop a command at its next step (an import rolls
        // back, a sync keeps its whole batches), never in the middle of a write.
        const StopSignal stop;
        QTextStream out(stdout);
        const QString dataFile = DataPaths::in(DataFolder::current().dir).data;
        // --sync: the account from the options or from the settings; no window, no keyring needed.
        const auto sync = [&dataFile](const SyncOptions& options, QTextStream& to) {
            Settings settings;
            KeyringPasswords keyring;
            return runSyncCommand(options.url, options.user, dataFile, syncsettings::load(settings), &keyring, to,
                                  options.allowDelete);
        };
        RemindServices remind;
        remind.notify = [](const BirthdayReport& report, QString* error) { return notifyReminder(report, error); };
        const std::optional<int> code = runCommandLine(console.arguments(), dataFile, out, sync, remind);
        if (code) {
            StopSignal::ignoreFromNowOn();
            return *code;
        }
        // Until the window's own handlers are in place a signal waits for them.
        StopSignal::holdSignals();
        // Told to end before the window was there: nothing was written yet.
        if (StopSignal::requested())
            return 128 + StopSignal::signalNumber();
    }
    QApplication application(argc, argv);
    return runProgram(application);
}
