#pragma once
// Every message box, input box and file dialog goes through Dialogs, so that a test can answer it
// and read back exactly what the user would have seen.
#include <QString>
#include <optional>
#include <utility>

enum class MsgIcon { None, Information, Warning, Critical, Question };
// OkOpenFolder: 确定 and 打开所在文件夹 (a file was written; the answer OpenFolder asks to see it).
enum class MsgButtons { Ok, YesNo, SaveDiscardCancel, OkOpenFolder };
enum class MsgAnswer { Ok, Yes, No, Save, Discard, Cancel, OpenFolder };

struct Message {
    QString text;
    QString caption; // empty: the application's title
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultButton = MsgAnswer::Ok;

    friend bool operator==(const Message&, const Message&) = default;
};

struct FileRequest {
    FileRequest() = default;
    FileRequest(QString title_, QString filter_, QString suggested_ = {})
        : title(std::move(title_)), filter(std::move(filter_)), suggested(std::move(suggested_)) {}
    QString title;
    QString filter;    // "description|pattern|description|pattern"
    QString suggested; // a save dialog's starting folder and file name; empty: none
};

class QWidget;
class QDialog;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MsgAnswer show(QWidget* parent, const Message& message) = 0;
    // Nothing when the user cancels.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption) = 0;
    // An input box whose text is not shown (a password); a plain input box unless a seam shows one.
    virtual std::optional<QString> password(QWidget* parent, const QString& prompt, const QString& caption) {
        return input(parent, prompt, caption);
    }
    // Empty when the user cancels.
    virtual QString openFile(QWidget* parent, const FileRequest& request) = 0;
    // The path to write to; empty when the user cancels.
    virtual QString saveFile(QWidget* parent, const FileRequest& request) = 0;
    // Shows a form (the record form, the search form, the settings, the about box, the import and
    // export choices) modally and returns how it closed (QDialog::Accepted or Rejected).
    virtual int openForm(QDialog& form) = 0;
    // Shows a folder in the desktop's file manager; false when none could be started.
    virtual bool openFolder(QWidget* /*parent*/, const QString& /*folder*/) { return false; }
};

// Shorthands for the message kinds the program uses.
namespace msg {
Message plain(const QString& text);
Message stop(const QString& text);
Message info(const QString& text);
Message warning(const QString& text);
Message confirm(const QString& text); // caption "确认", Yes/No, No the default
} // namespace msg
