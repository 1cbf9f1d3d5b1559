#pragma once
// What the main window shows, read as the user sees it, and the user's clicks on it.
#include <QString>
#include <QStringList>

class Frm_main;

QStringList listKeys(Frm_main& w);   // the list's rows, top to bottom, by key
QStringList listNames(Frm_main& w);  // their names
QString currentNodeKey(Frm_main& w); // the tree's current node; empty when there is none

// A click on the tree node with that key (the list follows), and on the list row with that key.
void clickNode(Frm_main& w, const QString& key);
void selectRow(Frm_main& w, const QString& key);
