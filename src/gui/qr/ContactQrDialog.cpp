#include "gui/qr/ContactQrDialog.h"

#include "core/exchange/PhoneCard.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

std::optional<PhoneCardCode> phoneCardCode(const QByteArray& card) {
    if (std::optional<QrCode> whole = QrCode::encode(card))
        return PhoneCardCode{std::move(*whole), card, false};
    // A picture is most of a card's bytes; the numbers and the name are what the phone needs.
    const QByteArray smaller = phonecard::withoutPhoto(card);
    if (smaller.size() == card.size())
        return std::nullopt;
    if (std::optional<QrCode> code = QrCode::encode(smaller))
        return PhoneCardCode{std::move(*code), smaller, true};
    return std::nullopt;
}

namespace {
// About 360 logical pixels on a side: large enough for a camera at arm's length, small enough for
// the dialog to fit a laptop's screen.
constexpr int TargetSide = 360;
} // namespace

ContactQrDialog::ContactQrDialog(const QString& name, const PhoneCardCode& code, QWidget* parent)
    : QDialog(parent), payload_(code.payload) {
    setObjectName(QStringLiteral("ContactQrDialog"));
    setWindowTitle(QStringLiteral("二维码名片 - %1").arg(name));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(name, this);
    title->setObjectName(QStringLiteral("QrName"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    // Whole device pixels per module: a module cut across pixels blurs, and blurred modules are
    // what a camera fails on. On a 2x screen the picture has twice the pixels, not scaled ones.
    const qreal ratio = devicePixelRatioF();
    const int perModule = code.code.pixelsPerModuleFor(static_cast<int>(TargetSide * ratio));
    image_ = code.code.image(perModule);
    QPixmap pixmap = QPixmap::fromImage(image_);
    pixmap.setDevicePixelRatio(ratio);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("QrPicture"));
    picture->setPixmap(pixmap);
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QStringLiteral("%1 的二维码名片").arg(name));
    // The code stays black on white in a dark scheme too: many readers do not take inverted codes.
    picture->setStyleSheet(QStringLiteral("background: white"));
    layout->addWidget(picture, 0, Qt::AlignCenter);

    QString hint = QStringLiteral("用手机相机扫描此二维码，即可把联系人存入手机通讯录。");
    if (code.photoLeftOut)
        hint += QStringLiteral("\n照片太大，没有放进二维码。");
    auto* text = new QLabel(hint, this);
    text->setObjectName(QStringLiteral("QrHint"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
