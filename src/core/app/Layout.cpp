#include "core/app/Layout.h"

#include <QStringList>
#include <algorithm>

namespace layout {

Sizes resized(Sizes last, double windowWidth, double windowHeight) {
    if (windowWidth > 3100) {
        last.frameWidth = windowWidth - 950;
        last.listWidth = last.frameWidth - 2110;
    }
    if (windowHeight > 6000) {
        last.frameHeight = windowHeight - 500;
        last.treeHeight = last.frameHeight - 200;
        last.listHeight = last.frameHeight - 200;
    }
    return last;
}

QString frameText(const QMargins& frame) {
    return QStringLiteral("%1,%2,%3,%4").arg(frame.left()).arg(frame.top()).arg(frame.right()).arg(frame.bottom());
}

std::optional<QMargins> frameFromText(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    int value[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        value[i] = parts[i].trimmed().toInt(&ok);
        // No window manager draws a frame of a thousand pixels: such a value is damage.
        if (!ok || value[i] < 0 || value[i] > 1000)
            return std::nullopt;
    }
    return QMargins(value[0], value[1], value[2], value[3]);
}

QRect fitOnScreen(const QRect& outer, const QList<QRect>& availableAreas) {
    if (availableAreas.isEmpty())
        return outer;
    QRect area = availableAreas.front();
    qint64 best = 0;
    for (const QRect& candidate : availableAreas) {
        const QRect common = candidate.intersected(outer);
        const qint64 shared = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (shared > best) {
            best = shared;
            area = candidate;
        }
    }
    QRect fitted(outer.topLeft(), outer.size().boundedTo(area.size()));
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() + 1 - fitted.height()));
    return fitted;
}

} // namespace layout
