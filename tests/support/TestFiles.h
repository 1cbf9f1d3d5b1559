#pragma once
// Whole files for tests: read, written (the test stops when a write fails), and the vCard fixtures.
#include <QByteArray>
#include <QString>

QByteArray bytesOf(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);
// tests/data/vcard/NAME of the source tree.
QString vcardFixturePath(const QString& name);

// The seed of a test's random choices: fixed, so that every run of the suite makes the same ones;
// ZINTEVA_SEED=N tries others.
quint64 testSeed();
