#pragma once
// What the about box asks of the desktop: start another program, find one on the PATH, open a web
// page. Behind an interface so that a test can answer without starting anything.
#include <QString>

class QUrl;

class SystemServices {
public:
    virtual ~SystemServices() = default;
    // Starts the program at this path on its own; false when it cannot be started.
    virtual bool startProgram(const QString& path) = 0;
    // The full path of the first program of this name on the PATH, or empty.
    virtual QString findInPath(const QString& name) const = 0;
    // Opens the address in the user's browser; false when no browser could be started.
    virtual bool openUrl(const QUrl& url) = 0;
};

class DesktopSystemServices final : public SystemServices {
public:
    bool startProgram(const QString& path) override;
    QString findInPath(const QString& name) const override;
    bool openUrl(const QUrl& url) override;
};
