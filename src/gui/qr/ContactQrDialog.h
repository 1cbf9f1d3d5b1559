#pragma once
// One person as a QR code that a phone's camera turns into a contact: the card as the export writes
// it (vCard 3.0), without the picture when the whole card does not fit into one code.
#include "gui/qr/QrCode.h"

#include <QDialog>
#include <QString>
#include <optional>

struct PhoneCardCode {
    QrCode code;
    QByteArray payload; // what the code holds
    bool photoLeftOut = false;
};

// The code for `card`; nothing when the card is too large for one code even without its picture.
std::optional<PhoneCardCode> phoneCardCode(const QByteArray& card);

class QLabel;

class ContactQrDialog : public QDialog {
    Q_OBJECT
public:
    ContactQrDialog(const QString& name, const PhoneCardCode& code, QWidget* parent = nullptr);

    // The picture shown, in device pixels (what the screen draws).
    QImage shownImage() const { return image_; }
    const QByteArray& payload() const { return payload_; }

private:
    QImage image_;
    QByteArray payload_;
};
