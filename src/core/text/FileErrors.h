#pragma once
// Why a file could not be opened, read or written, in the user's language: Qt hands out the
// system's own text, which is English under most locales ("No such file or directory").
#include <QString>

class QFileDevice;

// The Chinese text for the system error behind `systemText` (as QFileDevice::errorString() gives
// it); a text the program does not know is handed back unchanged.
QString chineseFileError(const QString& systemText);
QString chineseFileError(const QFileDevice& file);
