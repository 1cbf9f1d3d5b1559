#include "core/app/CommandLine.h"
#include "gui/app/Program.h"
#include "core/app/DataFolder.h"
#include "core/store/DataFiles.h"
#include "gui/reminder/DesktopNotification.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    // --import, --export and --remind run without a window, so they work without a display too.
    {
        QCoreApplication console(argc, argv);
        QTextStream out(stdout);
        RemindServices remind;
        remind.notify = [](const BirthdayReport& report, QString* error) { return notifyReminder(report, error); };
        const std::optional<int> code =
            runCommandLine(console.arguments(), DataPaths::in(DataFolder::current().dir).data, out, remind);
        if (code)
            return *code;
    }
    QApplication application(argc, argv);
    return runProgram(application);
}
