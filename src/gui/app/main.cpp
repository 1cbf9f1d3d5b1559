#include "core/app/CommandLine.h"
#include "gui/app/Program.h"
#include "core/app/DataFolder.h"
#include "core/store/DataFiles.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    // --import and --export run without a window, so they work without a display too.
    {
        QCoreApplication console(argc, argv);
        QTextStream out(stdout);
        const std::optional<int> code =
            runCommandLine(console.arguments(), DataPaths::in(DataFolder::current().dir).data, out);
        if (code)
            return *code;
    }
    QApplication application(argc, argv);
    return runProgram(application);
}
