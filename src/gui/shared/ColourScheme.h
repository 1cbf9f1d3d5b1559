#pragma once
// The desktop's light or dark scheme, followed while the program runs: the freedesktop setting read
// through the settings portal (and its changes), else the platform's own palette; dark brings the
// program's dark palette. The list's marks take their colours from the palette in force.
#include "core/app/ColourScheme.h"

#include <QColor>
#include <QDBusConnection>
#include <QObject>
#include <QPalette>
#include <optional>

class QDBusVariant;

namespace schemes {
QPalette darkPalette();
// The scheme of the application's palette now (by its list background).
colourscheme::Scheme current();
// A birthday today in the list; a warning beside a box.
QColor todayMark();
QColor warningMark();
} // namespace schemes

class DesktopScheme : public QObject {
    Q_OBJECT
public:
    // Reads the setting once (a desktop without the portal answers at once: no portal), follows its
    // changes, and applies the scheme to the application's palette.
    explicit DesktopScheme(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~DesktopScheme() override;

    // What the desktop states; nothing without the portal or without a preference.
    std::optional<colourscheme::Scheme> desktopPreference() const { return desktop_; }
    colourscheme::Scheme applied() const { return applied_; }

signals:
    void schemeChanged(colourscheme::Scheme scheme);

private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    std::optional<colourscheme::Scheme> readPortal();
    void apply();

    QDBusConnection bus_;
    QPalette platform_; // the palette the platform gave, kept for a return to light
    std::optional<colourscheme::Scheme> desktop_;
    colourscheme::Scheme applied_ = colourscheme::Scheme::Light;
};
