#include "support/TestFiles.h"

#include <QFile>
#include <QtTest/qtestcase.h>

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString vcardFixturePath(const QString& name) {
    const QString root = qEnvironmentVariable("ZINTEVA_SOURCE_DIR");
    if (!root.isEmpty())
        return root + QStringLiteral("/tests/data/vcard/") + name;
    return QFINDTESTDATA(QStringLiteral("data/vcard/") + name);
}

quint64 testSeed() {
    bool ok = false;
    const quint64 given = qEnvironmentVariable("ZINTEVA_SEED").toULongLong(&ok);
    return ok ? given : 20261208;
}
