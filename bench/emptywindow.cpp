// zinteva-empty-window: the limit of a start-up. An empty Qt window of the main window's size,
// shown and left to the event loop; the benchmark times its first paint from outside, as it
// times the program's.
#include "core/app/Layout.h"
#include "core/app/Twips.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("zinteva"));
    window.resize(twips::toPixels(layout::ClientWidth), twips::toPixels(layout::ClientHeight));
    window.show();
    return application.exec();
}
