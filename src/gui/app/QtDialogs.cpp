#include "gui/app/QtDialogs.h"

#include "gui/shared/FocusReturn.h"

#include <QDesktopServices>
#include <QDialog>
#include <QPushButton>
#include <QUrl>

#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
const QString ApplicationTitle = QStringLiteral("meldra");

// The program's texts break lines with a carriage return, as the user's eye expects a new line.
QString shownText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

// Each box and dialog gives the keyboard focus back where it was when it closes (FocusReturn): the
// guard is made before the box, so that it acts once the box is gone.
MsgAnswer QtDialogs::show(QWidget* parent, const Message& message) {
    const FocusReturn focus(parent);
    QMessageBox box(parent);
    box.setWindowTitle(message.caption.isEmpty() ? ApplicationTitle : message.caption);
    box.setText(shownText(message.text));
    switch (message.icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (message.buttons == MsgButtons::SaveDiscardCancel) {
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(message.defaultButton == MsgAnswer::Discard  ? QMessageBox::Discard
                             : message.defaultButton == MsgAnswer::Cancel ? QMessageBox::Cancel
                                                                          : QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        const int answer = box.exec();
        return answer == QMessageBox::Save      ? MsgAnswer::Save
               : answer == QMessageBox::Discard ? MsgAnswer::Discard
                                                : MsgAnswer::Cancel;
    }
    if (message.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(message.defaultButton == MsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    QPushButton* openFolder = nullptr;
    if (message.buttons == MsgButtons::OkOpenFolder)
        openFolder = box.addButton(QStringLiteral("打开所在文件夹(&O)"), QMessageBox::ActionRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return openFolder && box.clickedButton() == openFolder ? MsgAnswer::OpenFolder : MsgAnswer::Ok;
}

bool QtDialogs::openFolder(QWidget*, const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

std::optional<QString> QtDialogs::input(QWidget* parent, const QString& prompt, const QString& caption) {
    const FocusReturn focus(parent);
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption.isEmpty() ? ApplicationTitle : caption,
                                               shownText(prompt), QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtDialogs::password(QWidget* parent, const QString& prompt, const QString& caption) {
    const FocusReturn focus(parent);
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption.isEmpty() ? ApplicationTitle : caption,
                                               shownText(prompt), QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString qtFileFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        const QString inParentheses = QLatin1Char('(') + pattern + QLatin1Char(')');
        filters << (description.endsWith(inParentheses) ? description : description + QLatin1Char(' ') + inParentheses);
    }
    return filters.join(QStringLiteral(";;"));
}

QString QtDialogs::openFile(QWidget* parent, const FileRequest& request) {
    const FocusReturn focus(parent);
    return QFileDialog::getOpenFileName(parent, request.title, QString(), qtFileFilter(request.filter));
}

QString QtDialogs::saveFile(QWidget* parent, const FileRequest& request) {
    const FocusReturn focus(parent);
    return QFileDialog::getSaveFileName(parent, request.title, request.suggested, qtFileFilter(request.filter));
}

MsgAnswer MessageLogDialogs::show(QWidget*, const Message& message) {
    QFile log(logFile_);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QString text = message.text;
        text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        log.write((message.caption + QLatin1Char('\t') + text + QLatin1Char('\n')).toUtf8());
    }
    return message.defaultButton;
}

std::optional<QString> MessageLogDialogs::input(QWidget*, const QString&, const QString&) {
    return std::nullopt;
}

QString MessageLogDialogs::openFile(QWidget*, const FileRequest&) {
    return {};
}

QString MessageLogDialogs::saveFile(QWidget*, const FileRequest&) {
    return {};
}

int QtDialogs::openForm(QDialog& form) {
    const FocusReturn focus(form.parentWidget());
    return form.exec();
}

int MessageLogDialogs::openForm(QDialog&) {
    return QDialog::Rejected;
}
