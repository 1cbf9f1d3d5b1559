#pragma once
// A mount namespace of the test process's own, so that a test can make a small full filesystem or a
// read-only folder even as root (whom permission bits do not stop). enter() must run while the
// process still has a single thread: first thing in main, before QApplication.
#include "support/AreaRegistry.h"

#include <QString>

namespace mountns {

// True when the process now has its own mount namespace; else why not.
bool enter(QString* why);
// A tmpfs of the given size over dir, its root 0700.
bool mountTmpfs(const QString& dir, int kilobytes, QString* why);
// dir becomes read-only (a read-only bind mount of itself).
bool bindReadOnly(const QString& dir, QString* why);
void unmount(const QString& dir);

} // namespace mountns

// The main of a test area that needs the namespace: entered first, while the process has a single
// thread; the test object is made with whether that worked and, if not, why (its tests then skip).
#define ZINTEVA_TEST_MAIN_IN_MOUNT_NAMESPACE(Application, TestObject)                                                  \
    ZINTEVA_AREA_MAIN {                                                                                                \
        QString why;                                                                                                   \
        const bool isolated = mountns::enter(&why);                                                                    \
        Application application(argc, argv);                                                                           \
        TestObject test(isolated, why);                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
