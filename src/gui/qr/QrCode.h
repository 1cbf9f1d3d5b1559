#pragma once
// A QR code made by libqrencode from bytes as they are (8-bit mode, no character set guessed), and
// its picture: square modules of whole pixels with the quiet zone a reader needs around them.
#include <QByteArray>
#include <QImage>
#include <optional>
#include <vector>

class QrCode {
public:
    // The quiet zone the standard asks for: four light modules on every side.
    static constexpr int QuietModules = 4;

    // Nothing when the bytes do not fit into the largest code (version 40) at the error correction
    // used (level M, so that a code shown on a screen with glare still reads).
    static std::optional<QrCode> encode(const QByteArray& bytes);

    int version() const { return version_; }
    int modules() const { return width_; } // modules on a side, quiet zone not counted
    bool isDark(int x, int y) const { return dark_[static_cast<size_t>(y) * width_ + x] != 0; }

    // Black on white, each module `pixelsPerModule` pixels square, the quiet zone included.
    QImage image(int pixelsPerModule) const;
    // Pixels per module for a picture of about `targetPixels` on a side: never fewer than three
    // (a phone camera does not resolve less from a screen), never more than ten.
    int pixelsPerModuleFor(int targetPixels) const;

private:
    int version_ = 0;
    int width_ = 0;
    std::vector<unsigned char> dark_;
};
