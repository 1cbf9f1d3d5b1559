// zinteva-sample FOLDER [COUNT]: a new data file in FOLDER filled with COUNT made-up people (default 200).
#include "SyntheticDirectory.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    QTextStream err(stderr);
    if (arguments.size() < 2 || arguments.size() > 3) {
        err << "usage: zinteva-sample FOLDER [COUNT]\n";
        return 2;
    }
    const DataPaths paths = DataPaths::in(arguments[1]);
    QDir().mkpath(paths.dir);
    try {
        Store::createEmpty(paths.data);
        auto store = Store::open(paths.data);
        fillSyntheticDirectory(*store, arguments.size() == 3 ? arguments[2].toInt() : 200);
    } catch (const StoreError& e) {
        err << e.message() << "\n";
        return 1;
    }
    return 0;
}
