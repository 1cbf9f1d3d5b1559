#include "core/app/ColourScheme.h"

#include <algorithm>
#include <cmath>

namespace colourscheme {

std::optional<Scheme> fromPortal(quint32 value) {
    switch (value) {
    case 1:
        return Scheme::Dark;
    case 2:
        return Scheme::Light;
    default:
        return std::nullopt;
    }
}

Scheme decide(const QString& forced, std::optional<Scheme> desktop, int platformWindowLightness) {
    const QString asked = forced.trimmed().toLower();
    if (asked == u"dark")
        return Scheme::Dark;
    if (asked == u"light")
        return Scheme::Light;
    if (desktop)
        return *desktop;
    return ofLightness(platformWindowLightness);
}

const DarkColours& dark() {
    static const DarkColours colours{
        .window = 0x2b2b2b,
        .windowText = 0xe6e6e6,
        .base = 0x1e1e1e,
        .alternateBase = 0x262626,
        .text = 0xe6e6e6,
        .button = 0x363636,
        .buttonText = 0xe6e6e6,
        .brightText = 0xff8a80,
        .highlight = 0x2a62c4, // white on it stays readable
        .highlightedText = 0xffffff,
        .link = 0x7ab4ff,
        .linkVisited = 0xc4a0ff,
        .toolTipBase = 0x3a3a3a,
        .toolTipText = 0xe6e6e6,
        .placeholderText = 0x999999,
        .disabledText = 0x858585,
        .light = 0x505050,
        .midlight = 0x404040,
        .mid = 0x303030,
        .dark = 0x141414,
        .shadow = 0x000000,
    };
    return colours;
}

Marks marksFor(Scheme scheme) {
    // Dark red on a light list; a light coral on a dark one, where dark red would sink.
    return scheme == Scheme::Dark ? Marks{0xff8a80, 0xff8a80} : Marks{0xb00020, 0xc00000};
}

namespace {
double channel(quint32 value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double luminance(quint32 rgb) {
    return 0.2126 * channel((rgb >> 16) & 0xff) + 0.7152 * channel((rgb >> 8) & 0xff) + 0.0722 * channel(rgb & 0xff);
}
} // namespace

double contrastRatio(quint32 a, quint32 b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace colourscheme
