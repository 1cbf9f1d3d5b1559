#include "gui/shared/Pictures.h"

#include <QPainter>
#include <QSvgRenderer>
#include <array>

// The pictures live in a resource compiled into a static library, which must be registered by hand.
static void registerPictures() {
    Q_INIT_RESOURCE(icons);
}

namespace {
QIcon fromResource(const char* name) {
    static const bool registered = (registerPictures(), true);
    Q_UNUSED(registered);
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}
} // namespace

namespace pictures {

QIcon node(int number) {
    static const std::array<const char*, 4> names{"everybody", "group", "contact", "selected"};
    if (number < 1 || number > 4)
        return {};
    // On a selected row the picture is drawn as it is: the style's tint for selected icons made the
    // person nearly vanish into the highlight.
    QIcon icon = fromResource(names[number - 1]);
    icon.addFile(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(names[number - 1])), QSize(), QIcon::Selected);
    return icon;
}

QIcon toolbar(int number) {
    static const std::array<const char*, 7> names{"new", "edit", "delete", "search", "settings", "about", "quit"};
    if (number < 1 || number > 7)
        return {};
    return fromResource(names[number - 1]);
}

QIcon recordForm(int number) {
    static const std::array<const char*, 2> names{"save", "close"};
    if (number < 1 || number > 2)
        return {};
    return fromResource(names[number - 1]);
}

QIcon application() {
    return fromResource("app");
}

QPixmap photoPlaceholder(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(QColor(0xf4, 0xf6, 0xf9));
    QPainter painter(&pixmap);
    const int side = std::min(size.width(), size.height()) / 2;
    fromResource("photo"); // registers the resource
    QSvgRenderer(QStringLiteral(":/icons/photo.svg"))
        .render(&painter, QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side));
    return pixmap;
}

} // namespace pictures
