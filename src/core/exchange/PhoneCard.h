#pragma once
// The card a phone takes in from a QR code: the person as the export writes them (vCard 3.0,
// UTF-8), made smaller when it does not fit into one code.
#include <QByteArray>

namespace phonecard {

// The card without its picture: every PHOTO property (with or without a group, in any case) and the
// folded lines that continue it are left out; every other byte stays as it was.
QByteArray withoutPhoto(const QByteArray& card);

} // namespace phonecard
