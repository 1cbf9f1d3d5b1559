#pragma once
// The selected person's whole card beside the list: the photo, the name, every number, e-mail,
// address and ID (each with 复制, which puts the value on the clipboard), e-mails and web pages as
// links, the birthday in both calendars with the days left, and every other value the person has.
// It only shows: whatever changes the person goes through the record form, and the pane reads the
// person again when the window tells it (the selection moved, a change notice came).
#include "core/store/ContactFields.h"

#include <QDate>
#include <QScrollArea>
#include <QString>
#include <functional>
#include <optional>

class QGridLayout;
class QLabel;
class QToolButton;

class DetailPane : public QScrollArea {
    Q_OBJECT
public:
    using Loader = std::function<std::optional<ContactFields>(const QString& key)>;
    using Today = std::function<QDate()>;
    DetailPane(Loader load, Today today, QWidget* parent = nullptr);

    // The person with that key; an empty key or a person who cannot be read: nobody.
    void showContact(const QString& key);
    // The person shown, read again (a change notice): gone people leave the pane empty.
    void reload() { showContact(key_); }
    QString shownKey() const { return key_; }

    // What the pane shows, a line per row ("label\ttext"), and the copy button of a row (or nothing).
    QStringList shownLines() const;
    QToolButton* copyButton(int line) const;
    QLabel* photo() const { return photo_; }

private:
    enum class Kind { Plain, Copy, Mail, Link };
    void addLine(const QString& label, const QString& text, Kind kind);
    void clearLines();
    void showPhoto(const QString& path);

    Loader load_;
    Today today_;
    QString key_;
    QWidget* body_;
    QLabel* photo_;
    QLabel* name_;
    QGridLayout* grid_;
    QStringList lines_;
    std::vector<QToolButton*> copies_;
};
