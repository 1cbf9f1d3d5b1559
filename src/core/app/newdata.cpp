// zinteva-newdata FOLDER: writes an empty data file (tavrel.mdb) with both tables into FOLDER.
// Never overwrites an existing file.
#include "core/store/DataFiles.h"
#include "core/store/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 2) {
        err << "usage: zinteva-newdata FOLDER\n";
        return 2;
    }
    const DataPaths paths = DataPaths::in(arguments[1]);
    if (!QDir().mkpath(paths.dir)) {
        err << "cannot create folder " << paths.dir << "\n";
        return 1;
    }
    try {
        Store::createEmpty(paths.data);
    } catch (const StoreError& e) {
        err << e.message() << "\n";
        return 1;
    }
    QTextStream(stdout) << paths.data << "\n";
    return 0;
}
