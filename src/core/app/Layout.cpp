#include "core/app/Layout.h"

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

} // namespace layout
