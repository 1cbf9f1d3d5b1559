#pragma once
// Frm_about: the program's name, a line that opens the project's home page, a warning paragraph,
// and a button that starts the desktop's system-information program.
#include <QDialog>
#include <QStringList>

#include "core/rules/AppState.h"
class SystemServices;

namespace about {
// The project's home page: opened by the link line and named in the message when that fails.
inline const QString HomePage = QStringLiteral("https://zinteva.example.org/");
// System-information programs of the common Linux desktops, in the order they are looked for.
inline const QStringList SysInfoPrograms{QStringLiteral("hardinfo"), QStringLiteral("gnome-system-monitor"),
                                         QStringLiteral("kinfocenter"), QStringLiteral("xfce4-taskmanager")};
} // namespace about

class Frm_about : public QDialog {
    Q_OBJECT
public:
    Frm_about(AppState& state, SystemServices& services, QWidget* parent = nullptr);

    // Starts the system-information program, or tells the user it is not available.
    void StartSysInfo();
    // Opens the home page, or tells the user where to find it.
    void Label1_Click();

private:
    QString sysInfoPath() const;

    AppState& state_;
    SystemServices& services_;
};

// Opens the about box modally over the owner and returns when it has closed.
void openAboutBox(AppState& state, QWidget* owner);
