#include "gui/qr/QrCode.h"

#include <algorithm>
#include <qrencode.h>

std::optional<QrCode> QrCode::encode(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return std::nullopt;
    QRcode* code = QRcode_encodeData(static_cast<int>(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()),
                                     0, QR_ECLEVEL_M);
    if (!code)
        return std::nullopt; // ERANGE: too large; ENOMEM: no code either
    QrCode result;
    result.version_ = code->version;
    result.width_ = code->width;
    const size_t cells = static_cast<size_t>(code->width) * static_cast<size_t>(code->width);
    result.dark_.resize(cells);
    for (size_t i = 0; i < cells; ++i)
        result.dark_[i] = code->data[i] & 1; // the other bits say what the module is part of
    QRcode_free(code);
    return result;
}

QImage QrCode::image(int pixelsPerModule) const {
    const int scale = std::max(1, pixelsPerModule);
    const int side = (width_ + 2 * QuietModules) * scale;
    QImage picture(side, side, QImage::Format_Grayscale8);
    picture.fill(255);
    for (int y = 0; y < width_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (!isDark(x, y))
                continue;
            const int left = (x + QuietModules) * scale;
            const int top = (y + QuietModules) * scale;
            for (int row = top; row < top + scale; ++row)
                std::fill_n(picture.scanLine(row) + left, scale, uchar(0));
        }
    }
    return picture;
}

int QrCode::pixelsPerModuleFor(int targetPixels) const {
    const int perSide = width_ + 2 * QuietModules;
    return std::clamp(perSide > 0 ? targetPixels / perSide : 3, 3, 10);
}
