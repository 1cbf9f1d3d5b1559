#pragma once
// The keyboard focus back where it was once a message box, a dialog or a menu has closed. When a
// modal box goes, nobody need activate the window under it again: without a window manager (and
// under some) the main window then stays inactive, and Ctrl+Z or Ctrl+N do nothing until a click.
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <memory>

class FocusReturn {
public:
    // `over`: the window the box stands over, whose own focus widget is taken when no window is
    // active now (a progress dialog just went, say).
    explicit FocusReturn(QWidget* over = nullptr) : focused_(focusNow()) {
        if (!focused_ && over)
            focused_ = over->window()->focusWidget();
    }
    ~FocusReturn() { giveBack(focused_); }
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

    // The widget with the keyboard focus, or the one the active window gives it to.
    static QWidget* focusNow() {
        if (QWidget* focused = QApplication::focusWidget())
            return focused;
        QWidget* active = QApplication::activeWindow();
        return active ? active->focusWidget() : nullptr;
    }

    // Activates the widget's window again and gives the widget the focus, unless the window's
    // focus has meanwhile moved on inside it (an in-place editor a menu entry opened keeps it).
    static void giveBack(QWidget* focused) {
        if (!focused || !focused->isVisible())
            return; // its window closed meanwhile
        QWidget* window = focused->window();
        if (QApplication::activeModalWidget() && QApplication::activeModalWidget() != window)
            return; // a dialog over it is still open: its own closing gives the focus back
        if (!window->isActiveWindow())
            window->activateWindow();
        QWidget* inWindow = window->focusWidget();
        if (!inWindow || inWindow == focused || !inWindow->isVisible())
            focused->setFocus(Qt::ActiveWindowFocusReason);
    }

    // A menu that is not run by exec in our own code (a toolbar button's drop-down): the focus is
    // taken when it opens and given back when it closes, before its entry does its work.
    static void around(QMenu* menu) {
        auto focused = std::make_shared<QPointer<QWidget>>();
        QObject::connect(menu, &QMenu::aboutToShow, menu, [focused] { *focused = focusNow(); });
        QObject::connect(menu, &QMenu::aboutToHide, menu, [focused] {
            giveBack(*focused);
            *focused = nullptr;
        });
    }

private:
    QPointer<QWidget> focused_;
};
