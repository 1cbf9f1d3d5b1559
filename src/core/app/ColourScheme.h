#pragma once
// Light or dark: which the program follows (the desktop's stated preference, else what the platform's
// own palette is), the colours of the dark palette, and the colours of the list's marks in each,
// chosen so that every text stays readable on the background it is drawn on.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace colourscheme {

enum class Scheme { Light, Dark };

// The freedesktop setting org.freedesktop.appearance color-scheme: 1 prefers dark, 2 prefers light;
// 0 and any value not known yet state no preference.
std::optional<Scheme> fromPortal(quint32 value);

// The scheme to use: `forced` ("dark" or "light", from ZINTEVA_COLOR_SCHEME) first, then the
// desktop's preference, then the platform's palette: dark when its window colour is dark
// (`platformWindowLightness`, 0 to 255).
Scheme decide(const QString& forced, std::optional<Scheme> desktop, int platformWindowLightness);
// The scheme a palette is in, by the lightness of a background (0 to 255).
inline Scheme ofLightness(int lightness) {
    return lightness < 128 ? Scheme::Dark : Scheme::Light;
}

// Colours as 0xRRGGBB.
struct DarkColours {
    quint32 window, windowText, base, alternateBase, text, button, buttonText, brightText, highlight,
        highlightedText, link, linkVisited, toolTipBase, toolTipText, placeholderText, disabledText, light, midlight,
        mid, dark, shadow;
};
const DarkColours& dark();

// The list's and the forms' marks: a birthday today (bold and coloured), a warning beside a box.
struct Marks {
    quint32 today;
    quint32 warning;
};
Marks marksFor(Scheme scheme);

// How far apart two colours are for the eye (WCAG 2): 1 (the same) to 21 (black on white). Text
// needs 4.5.
double contrastRatio(quint32 a, quint32 b);

} // namespace colourscheme
