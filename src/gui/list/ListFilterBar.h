#pragma once
// The filter line under the contact list. Typing in the list, or Ctrl+L, opens it; what is typed
// narrows the rows the list shows now (its fill) to those whose name, pinyin initials, full pinyin,
// phone number or e-mail address holds the text; Esc clears and closes it. It only narrows what
// the list shows: a new fill (a tree click, a search, a save's refresh) closes it, so every fill
// shows what it always has.
#include "core/rules/ListFilter.h"

#include <QLineEdit>
#include <functional>

class ContactListModel;
class QTreeView;
class DirectorySession;

class ListFilterBar : public QLineEdit {
    Q_OBJECT
public:
    // `session`: the window's, for the names' pinyin of its data file.
    ListFilterBar(QTreeView* LV, ContactListModel* list, DirectorySession& session, QWidget* parent = nullptr);

    // Shows the line with the focus in it; `typed` (a key typed in the list) starts the text.
    void open(const QString& typed = {});
    // Clears the text, shows the whole fill again and gives the focus back to the list.
    void closeFilter();

    const ListFilter& filter() const { return filter_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void narrow(const QString& text);
    void fillChanged();

    QTreeView* LV_;
    ContactListModel* list_;
    DirectorySession& session_;
    ListFilter filter_;
    bool prepared_ = false;
    bool narrowing_ = false; // the list's resets this line causes itself
};
