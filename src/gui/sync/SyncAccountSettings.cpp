#include "gui/sync/SyncAccountSettings.h"

#include "core/app/Settings.h"

namespace {
const QString Url = QStringLiteral("syncurl");
const QString User = QStringLiteral("syncuser");
const QString Book = QStringLiteral("syncbook");
const QString Certificate = QStringLiteral("synccert");
const QString OtherHost = QStringLiteral("syncotherhost");
const QString Interval = QStringLiteral("syncinterval");
} // namespace

namespace syncsettings {

SyncAccount load(const Settings& settings) {
    SyncAccount account;
    account.url = settings.text(Url);
    account.user = settings.text(User);
    account.addressBook = settings.text(Book);
    account.trustedCertificate = settings.text(Certificate);
    account.otherHost = settings.text(OtherHost);
    return account;
}

void save(Settings& settings, const SyncAccount& account) {
    settings.setText(Url, account.url);
    settings.setText(User, account.user);
    settings.setText(Book, account.addressBook);
    settings.setText(Certificate, account.trustedCertificate);
    settings.setText(OtherHost, account.otherHost);
    settings.sync();
}

int interval(const Settings& settings) {
    const int minutes = settings.integer(Interval, 0);
    return minutes == 15 || minutes == 60 ? minutes : 0; // anything else (a damaged file) is off
}

void setInterval(Settings& settings, int minutes) {
    settings.setText(Interval, QString::number(minutes));
    settings.sync();
}

} // namespace syncsettings
