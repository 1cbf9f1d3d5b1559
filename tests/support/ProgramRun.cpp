#include "support/ProgramRun.h"

#include "core/store/ContactFields.h"
#include "core/store/Store.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

ProgramRun::ProgramRun() {
    for (const QString& folder : {home(), temp(), runtime()})
        QDir().mkpath(folder);
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment ProgramRun::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home() + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
    environment.insert(QStringLiteral("TMPDIR"), temp());
    environment.insert(QStringLiteral("ZINTEVA_MESSAGE_LOG"), log());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

QStringList ProgramRun::messages() const {
    QFile f(log());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool ProgramRun::waitForMessages(int count) const {
    QElapsedTimer timer;
    timer.start();
    while (messages().size() < count && timer.elapsed() < Timeout)
        QTest::qWait(20);
    return messages().size() >= count;
}

QString loggedMessage(const QString& caption, QString text) {
    return caption + QLatin1Char('\t') + text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

QString oneBirthdayMessage() {
    return loggedMessage({}, QStringLiteral("最近 10 天有 1 位过生日的好友"));
}

void prepareBirthdayDataFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    Store::createEmpty(path);
    auto store = Store::open(path);
    ContactFields f;
    f.groupKey = store->addGroup(QStringLiteral("朋友"));
    f.name = QStringLiteral("寿星");
    f.birthday = QDate::currentDate().addDays(2).addYears(-30);
    store->addContact(f);
}
