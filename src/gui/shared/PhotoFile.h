#pragma once
// A person's photo read from the file its 照片 names, for showing and for keeping. The data file may
// name any file: only a regular file is opened (a FIFO would block, a device never end), through one
// descriptor so that nothing can be put in its place meanwhile, and a picture that claims more
// pixels than any photo has (a decompression bomb) is not decoded.
#include "core/exchange/PhotoFolder.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace photofile {

inline constexpr qint64 PixelLimit = 100'000'000;
inline constexpr int AllocationLimitMb = 256;

// The picture decoded to fit `box` (turned as the camera meant); a null image when it cannot be.
QImage read(const QString& path, const QSize& box);

// A picture's bytes as kept in the photos folder: the bytes as they are when the picture has at
// most maxPixels pixels, else the picture scaled down to about maxPixels (turned upright), as JPEG
// (PNG when it has transparent parts).
// Nothing when the bytes are not a picture Qt can decode. (photofolder::Shrink for the session.)
std::optional<photofolder::Picture> shrunk(const photofolder::Picture& picture, qint64 maxPixels);

} // namespace photofile
