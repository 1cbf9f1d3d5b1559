#pragma once
// The real program started as a user would start it, in a temporary folder of its own: a home, a
// temporary folder and a runtime folder (0700), and the log that ZINTEVA_MESSAGE_LOG names, where
// the program writes its message boxes instead of showing them, so that no dialog waits for a click.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ProgramRun {
public:
    static constexpr int Timeout = 60000; // a sanitizer build starts slowly

    ProgramRun();

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString home() const { return path(QStringLiteral("home")); }
    QString temp() const { return path(QStringLiteral("tmp")); }
    QString runtime() const { return path(QStringLiteral("runtime")); }
    QString log() const { return path(QStringLiteral("messages.log")); }

    // The environment the program gets: the run's own home, settings, runtime and temporary
    // folders, the message log, and no screen.
    QProcessEnvironment environment() const;

    // The messages logged so far, one per entry: "caption\ttext".
    QStringList messages() const;
    // Waits until that many are logged; false when they did not come in time.
    bool waitForMessages(int count) const;

private:
    QTemporaryDir dir_;
};

// One message box as the log writes it.
QString loggedMessage(const QString& caption, QString text);

// A data file with one person whose birthday comes in two days: the start-up reminder then says so
// (oneBirthdayMessage), which tells that the load step has run to its end.
void prepareBirthdayDataFile(const QString& path);
QString oneBirthdayMessage();
