#pragma once
// Text laid out in columns on a terminal, where a Chinese character takes two cells.
#include <QString>
#include <QStringView>
#include <utility>
#include <vector>

// The cells a text takes on a terminal: East Asian wide and fullwidth characters two, combining
// marks and other zero-width characters none, everything else one.
int displayWidth(QStringView text);

// Rows of two columns, the second starting at the same cell on every line (two cells after the
// widest first column); each line ends with a newline.
QString alignedColumns(const std::vector<std::pair<QString, QString>>& rows);
