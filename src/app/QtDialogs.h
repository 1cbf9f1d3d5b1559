#pragma once
// The dialogs the user really sees.
#include "shared/Messages.h"

class QtDialogs final : public Dialogs {
public:
    MsgAnswer show(QWidget* parent, const Message& message) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& caption) override;
    QString openFile(QWidget* parent, const FileRequest& request) override;
    QString saveFile(QWidget* parent, const FileRequest& request) override;
};

// "JPEG 图像(*.jpg)|*.jpg|位图 (*.bmp)|*.bmp" as a Qt file dialog filter.
QString qtFileFilter(const QString& pipeFilter);
