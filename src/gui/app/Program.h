#pragma once
#include <QString>
class QApplication;
// The whole run: the start-up guard, the main window, the event loop.
int runProgram(QApplication& application);
// The question asked before a file given on the command line is imported.
QString givenFileQuestion(const QString& path, int cards);
