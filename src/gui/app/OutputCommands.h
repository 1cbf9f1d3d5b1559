#pragma once
// What takes people out of the program other than a file: a QR code a phone scans, and the list
// printed or written as a PDF.
#include "gui/app/MainView.h"

#include <QString>

// Shows the person with `key` as a QR code holding their card. A card too large for one code even
// without its picture is said so, and the user may write it to a file instead.
void showContactQr(MainView& view, const QString& key);

// 打印... (Ctrl+P): the print preview of the people the list shows, in its order, as a phone list
// or as cards; printed from there or written as a PDF.
void printContactList(MainView& view);
