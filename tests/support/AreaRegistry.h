#pragma once
// Each tests/tst_<area>.cpp is one area: one test class, run in a process of its own, named
// tst_<area> in CTest. The areas share a few executables (the core's, the windows', the real
// program's) instead of linking the libraries forty times; each executable runs the one area its
// first argument names ("tests_core store -v2"), with the options after it as a test program of its
// own would take them.
//
// This header is read before every test source (through the tests' precompiled header, or with
// -include when those are off). It takes Qt's QTEST_MAIN and QTEST_GUILESS_MAIN over: where they
// would write main(), they now register the area's own main under the file's name.
#include <QTest>

namespace zinteva::test {

using AreaMain = int (*)(int argc, char* argv[]);
// Registers the area of the test file `file` (its name without "tst_" and ".cpp"); two files of the
// same name in one executable stop it at once.
bool registerArea(const char* file, AreaMain main);

} // namespace zinteva::test

// The area's main: a function of the file's own, registered before the runner's main() starts. It
// runs first thing in the process, still on a single thread (a mount namespace can be entered).
#define ZINTEVA_AREA_MAIN                                                                                              \
    static int zintevaAreaMain(int argc, char* argv[]);                                                                \
    [[maybe_unused]] static const bool zintevaAreaRegistered =                                                         \
        zinteva::test::registerArea(__FILE__, &zintevaAreaMain);                                                       \
    static int zintevaAreaMain(int argc, char* argv[])

// Qt's QTEST_MAIN, QTEST_GUILESS_MAIN and QTEST_APPLESS_MAIN all end in this macro; the body is
// Qt's own, only the function's name differs.
#undef QTEST_MAIN_WRAPPER
#define QTEST_MAIN_WRAPPER(TestObject, ...)                                                                            \
    ZINTEVA_AREA_MAIN {                                                                                                \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestObject>();                                            \
        __VA_ARGS__                                                                                                    \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
