#pragma once
// The main window's layout arithmetic, in twips: the frame, the tree and the list follow the
// window's outer size; below the thresholds they keep their last sizes.
#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>
#include <optional>

namespace layout {

inline constexpr int ToolbarWidth = 795;
inline constexpr int FrameDesignLeft = 5;
inline constexpr int FrameTop = -60;
inline constexpr int ViewTop = 120;
inline constexpr int TreeLeft = 60;
inline constexpr int TreeWidth = 1935;
inline constexpr int ListLeft = 2040;
inline constexpr int ClientWidth = 10575;
inline constexpr int ClientHeight = 6345;

struct Sizes {
    double frameWidth = 9770;
    double frameHeight = 6375;
    double treeHeight = 6195;
    double listWidth = 7660;
    double listHeight = 6195;

    friend bool operator==(const Sizes&, const Sizes&) = default;
};

// Form_Resize: last sizes in, new sizes out. Both tests are strict.
Sizes resized(Sizes last, double windowWidth, double windowHeight);

// Frame1's left edge after the toolbar moves to the left (+795) or back to the right (0).
inline double frameLeftWhenToolbarLeft(double currentLeft) {
    return currentLeft + ToolbarWidth;
}
inline double frameLeftWhenToolbarRight() {
    return 0;
}

// The window's frame as the window system drew it at the last close (left, top, right and bottom
// extents in pixels), kept beside the placement so that the outer size saved comes back exactly;
// written as "l,t,r,b". Nothing when the text is not four small non-negative numbers.
QString frameText(const QMargins& frame);
std::optional<QMargins> frameFromText(const QString& text);

// An outer rectangle (frame included) brought onto a screen: the screen that holds the most of it,
// else the first one (the primary); never larger than that screen's available area and wholly
// inside it, so that no part of the window (the toolbar's last button) is out of reach.
QRect fitOnScreen(const QRect& outer, const QList<QRect>& availableAreas);

} // namespace layout
