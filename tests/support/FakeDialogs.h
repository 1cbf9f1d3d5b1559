#pragma once
// Answers every dialog from a queue and records what the user would have seen.
#include "core/app/Messages.h"

#include <QList>
#include <functional>
#include <QStringList>
#include <deque>

class FakeDialogs final : public Dialogs {
public:
    MsgAnswer show(QWidget* parent, const Message& message) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption) override;
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
    int openForm(QDialog& form) override;
    bool openFolder(QWidget* parent, const QString& folder) override;

    // Answers for the next message boxes; a box with nothing queued gets its default button.
    std::deque<MsgAnswer> answers;
    std::deque<std::optional<QString>> inputAnswers; // nothing queued: cancelled
    std::deque<QString> fileAnswers;                 // open and save alike; nothing queued: cancelled
    // Answers for the next forms: each acts on the form (typing, pressing its buttons) and returns
    // how it closed. With nothing queued, `unanswered` runs (a window test shows the form for real),
    // else the form counts as cancelled.
    std::deque<std::function<int(QDialog&)>> formAnswers;
    std::function<int(QDialog&)> unanswered;
    int formsOpened = 0;

    QList<Message> messages;
    QStringList prompts; // "caption|prompt" of every input box
    QList<FileRequest> fileRequests;
    QStringList openedFolders; // shown in the file manager (none is started)

    QStringList texts() const;
    Message last() const { return messages.isEmpty() ? Message{} : messages.last(); }
};
