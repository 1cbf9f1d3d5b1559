#include "gui/shared/ColourScheme.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyle>

using colourscheme::Scheme;

namespace {
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString SettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString AppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString SchemeKey = QStringLiteral("color-scheme");
// A portal that does not answer within this long is taken as none: the window must not wait.
constexpr int PortalTimeoutMs = 800;

QColor rgb(quint32 value) {
    return QColor::fromRgb(value);
}

// The value inside the answer: Read wraps it in one variant more than ReadOne does.
std::optional<quint32> schemeValue(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    bool ok = false;
    const quint32 number = value.toUInt(&ok);
    return ok ? std::optional<quint32>(number) : std::nullopt;
}
} // namespace

namespace schemes {

QPalette darkPalette() {
    const colourscheme::DarkColours& c = colourscheme::dark();
    QPalette p;
    p.setColor(QPalette::Window, rgb(c.window));
    p.setColor(QPalette::WindowText, rgb(c.windowText));
    p.setColor(QPalette::Base, rgb(c.base));
    p.setColor(QPalette::AlternateBase, rgb(c.alternateBase));
    p.setColor(QPalette::Text, rgb(c.text));
    p.setColor(QPalette::Button, rgb(c.button));
    p.setColor(QPalette::ButtonText, rgb(c.buttonText));
    p.setColor(QPalette::BrightText, rgb(c.brightText));
    p.setColor(QPalette::Highlight, rgb(c.highlight));
    p.setColor(QPalette::HighlightedText, rgb(c.highlightedText));
    p.setColor(QPalette::Link, rgb(c.link));
    p.setColor(QPalette::LinkVisited, rgb(c.linkVisited));
    p.setColor(QPalette::ToolTipBase, rgb(c.toolTipBase));
    p.setColor(QPalette::ToolTipText, rgb(c.toolTipText));
    p.setColor(QPalette::PlaceholderText, rgb(c.placeholderText));
    p.setColor(QPalette::Light, rgb(c.light));
    p.setColor(QPalette::Midlight, rgb(c.midlight));
    p.setColor(QPalette::Mid, rgb(c.mid));
    p.setColor(QPalette::Dark, rgb(c.dark));
    p.setColor(QPalette::Shadow, rgb(c.shadow));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, rgb(c.disabledText));
    p.setColor(QPalette::Disabled, QPalette::Highlight, rgb(c.mid));
    return p;
}

Scheme current() {
    return colourscheme::ofLightness(QGuiApplication::palette().color(QPalette::Base).lightness());
}

QColor todayMark() {
    return rgb(colourscheme::marksFor(current()).today);
}

QColor warningMark() {
    return rgb(colourscheme::marksFor(current()).warning);
}

} // namespace schemes

DesktopScheme::DesktopScheme(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), platform_(QGuiApplication::palette()) {
    if (bus_.isConnected()) {
        desktop_ = readPortal();
        bus_.connect(PortalService, PortalPath, SettingsInterface, QStringLiteral("SettingChanged"), this,
                     SLOT(settingChanged(QString, QString, QDBusVariant)));
    }
    apply();
}

DesktopScheme::~DesktopScheme() {
    if (bus_.isConnected())
        bus_.disconnect(PortalService, PortalPath, SettingsInterface, QStringLiteral("SettingChanged"), this,
                        SLOT(settingChanged(QString, QString, QDBusVariant)));
}

std::optional<Scheme> DesktopScheme::readPortal() {
    // ReadOne since version 2 of the interface; Read before it.
    for (const QString& method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, SettingsInterface, method);
        call << AppearanceGroup << SchemeKey;
        const QDBusMessage reply = bus_.call(call, QDBus::Block, PortalTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const std::optional<quint32> value = schemeValue(reply.arguments().constFirst());
            return value ? colourscheme::fromPortal(*value) : std::nullopt;
        }
        // No portal at all, or one that knows no such setting: no need to ask the older way.
        if (reply.errorName() != u"org.freedesktop.DBus.Error.UnknownMethod")
            return std::nullopt;
    }
    return std::nullopt;
}

void DesktopScheme::settingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
    if (group != AppearanceGroup || key != SchemeKey)
        return;
    const std::optional<quint32> number = schemeValue(QVariant::fromValue(value));
    desktop_ = number ? colourscheme::fromPortal(*number) : std::nullopt;
    apply();
}

void DesktopScheme::apply() {
    const Scheme scheme = colourscheme::decide(qEnvironmentVariable("ZINTEVA_COLOR_SCHEME"), desktop_,
                                               platform_.color(QPalette::Window).lightness());
    if (scheme == Scheme::Dark) {
        QApplication::setPalette(schemes::darkPalette());
    } else if (colourscheme::ofLightness(platform_.color(QPalette::Window).lightness()) == Scheme::Light) {
        QApplication::setPalette(platform_);
    } else {
        // The platform is dark but the desktop asks for light: the style's own light colours.
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
    const bool changed = scheme != applied_;
    applied_ = scheme;
    if (changed)
        emit schemeChanged(scheme);
}
