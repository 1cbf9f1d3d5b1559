#include "core/app/Settings.h"

#include "core/store/PrivateFiles.h"

#include <QSettings>
#include <cmath>
#include <limits>

namespace {
const QString Group = QStringLiteral("set/");
}

Settings::Settings()
    : store_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tavrel"),
                                         QStringLiteral("tavrel"))) {}

Settings::Settings(const QString& iniFile) : store_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

Settings::~Settings() = default;

QString Settings::text(const QString& key, const QString& fallback) const {
    const QVariant value = store_->value(Group + key);
    return value.isValid() ? value.toString() : fallback;
}

double Settings::number(const QString& key, double fallback) const {
    bool ok = false;
    const double value = text(key).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}

int Settings::integer(const QString& key, int fallback) const {
    const double value = number(key, fallback);
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return fallback;
    return static_cast<int>(std::lround(value));
}

void Settings::setText(const QString& key, const QString& value) {
    store_->setValue(Group + key, value);
}

void Settings::sync() {
    // The settings hold the sync account: a new file is the user's alone (0600, its folders 0700);
    // QSettings then keeps that mode when it rewrites the file, as it keeps a mode set by the user.
    privatefiles::prepare(store_->fileName());
    store_->sync();
}
