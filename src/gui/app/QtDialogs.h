#pragma once
// The dialogs the user really sees.
#include "core/app/Messages.h"

class QtDialogs final : public Dialogs {
public:
    MsgAnswer show(QWidget* parent, const Message& message) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption) override;
    std::optional<QString> password(QWidget* parent, const QString& prompt, const QString& caption) override;
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
    int openForm(QDialog& form) override;
    bool openFolder(QWidget* parent, const QString& folder) override;
};

// For scripted runs (tests, CI) where nobody is there to click: when ZINTEVA_MESSAGE_LOG names a
// file, every message box is appended to it as one line instead of being shown, and is answered
// with its default button; input boxes, file dialogs and forms are cancelled. A line is the caption (empty
// for the application's title), a tab, then the text with each line break written as \n.
class MessageLogDialogs final : public Dialogs {
public:
    explicit MessageLogDialogs(QString logFile) : logFile_(std::move(logFile)) {}
    MsgAnswer show(QWidget* parent, const Message& message) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption) override;
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
    int openForm(QDialog& form) override;

private:
    QString logFile_;
};

// "JPEG 图像(*.jpg)|*.jpg|位图 (*.bmp)|*.bmp" as a Qt file dialog filter.
QString qtFileFilter(const QString& pipeFilter);
