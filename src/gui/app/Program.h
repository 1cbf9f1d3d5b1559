#pragma once
class QApplication;
// The whole run: the start-up guard, the main window, the event loop.
int runProgram(QApplication& application);
