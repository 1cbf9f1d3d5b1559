#pragma once
// The pictures of the tree and the list (1 everybody, 2 a group, 3 a person, 4 the selected node)
// and of the toolbar, drawn for the program.
#include <QIcon>

namespace pictures {
enum Node { Everybody = 1, Group = 2, Contact = 3, Selected = 4 };
QIcon node(int number);
QIcon toolbar(int number);    // 1 to 7, in the toolbar's order
QIcon recordForm(int number); // the record form's toolbar: 1 save, 2 close
QIcon application();
QPixmap photoPlaceholder(const QSize& size);
} // namespace pictures
