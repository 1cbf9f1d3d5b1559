#include "support/FakeDialogs.h"

MsgAnswer FakeDialogs::show(QWidget*, const Message& message) {
    messages.append(message);
    if (!answers.empty()) {
        const MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return message.defaultButton;
}

std::optional<QString> FakeDialogs::input(QWidget*, const QString& prompt, const QString& caption) {
    prompts.append(caption + QLatin1Char('|') + prompt);
    if (inputAnswers.empty())
        return std::nullopt;
    std::optional<QString> answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

QString FakeDialogs::openFile(QWidget*, const FileRequest& request) {
    fileRequests.append(request);
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QStringList FakeDialogs::texts() const {
    QStringList result;
    for (const Message& m : messages)
        result << m.text;
    return result;
}

QString FakeDialogs::saveFile(QWidget* parent, const FileRequest& request) {
    return openFile(parent, request);
}

bool FakeDialogs::openFolder(QWidget*, const QString& folder) {
    openedFolders << folder;
    return true;
}

int FakeDialogs::openForm(QDialog& form) {
    ++formsOpened;
    if (!formAnswers.empty()) {
        const std::function<int(QDialog&)> answer = std::move(formAnswers.front());
        formAnswers.pop_front();
        return answer(form);
    }
    return unanswered ? unanswered(form) : 0;
}
