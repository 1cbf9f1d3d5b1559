# Precompiled headers. A source file of 40 lines reads about 100,000 lines of Qt and the standard
# library before its own; each library and each test program parses them once instead of once per
# file. Only headers outside the project go in here: a header of ours in the list would make every
# file of the target compile again when it changes.
#
# The lists name what most files of a kind include anyway. A file still includes what it uses (the
# build without precompiled headers, -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON, must keep compiling).

set(ZINTEVA_PCH_STD
  <algorithm> <array> <cstdint> <cstring> <functional> <map> <memory> <optional> <stdexcept>
  <string> <string_view> <unordered_map> <utility> <vector>)
set(ZINTEVA_PCH_QTCORE
  <QByteArray> <QCoreApplication> <QDate> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList>
  <QObject> <QRegularExpression> <QSet> <QString> <QStringList> <QTextStream> <QTimer> <QUrl>
  <QVariant>)
set(ZINTEVA_PCH_QTWIDGETS
  <QAction> <QApplication> <QComboBox> <QDialog> <QDialogButtonBox> <QHeaderView> <QKeyEvent>
  <QLabel> <QLineEdit> <QPushButton> <QToolButton> <QTreeView> <QVBoxLayout> <QWidget>)
set(ZINTEVA_PCH_TEST <QSignalSpy> <QTemporaryDir> <QTest>)

# zinteva_precompile(target core|sync|gui|test-core|test-gui [more headers...])
# The core (and the tests, which reach the file behind the store's back) read SQLite's header too;
# the windows never do.
function(zinteva_precompile target kind)
  set(headers ${ZINTEVA_PCH_STD} ${ZINTEVA_PCH_QTCORE})
  if(kind MATCHES "gui")
    list(APPEND headers ${ZINTEVA_PCH_QTWIDGETS})
  endif()
  if(kind MATCHES "^test")
    list(APPEND headers ${ZINTEVA_PCH_TEST})
  endif()
  if(kind STREQUAL "core" OR kind MATCHES "^test")
    list(APPEND headers <sqlite3.h>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers} ${ARGN})
endfunction()

# zinteva_unity(target): the library's files compile in batches (ZINTEVA_UNITY_BUILD). A batch
# includes its .cpp files one after another, so a file's own types with members from its anonymous
# namespace look to GCC as if they were in a header; the headers are still checked where they are
# compiled alone (the tests).
function(zinteva_unity target)
  if(ZINTEVA_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON)
    target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  endif()
endfunction()
