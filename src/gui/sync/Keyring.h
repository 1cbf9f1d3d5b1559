#pragma once
// Sync passwords: kept in the desktop's keyring through the Secret Service where one runs; otherwise
// asked once per run and kept in memory only. Never written to the settings or the data file.
#include "core/sync/SyncEngine.h"

#include <QHash>

class Dialogs;
class QWidget;

class KeyringPasswords : public PasswordSource {
public:
    // dialogs may be null: nothing is asked then (the command line).
    KeyringPasswords(Dialogs* dialogs = nullptr, QWidget* parent = nullptr);

    // From memory, else from the keyring, else asked (and kept in memory).
    std::optional<QString> password(const SyncAccount& account) override;
    // Keeps the password for this run, and in the keyring when one takes it; false when none did.
    bool remember(const SyncAccount& account, const QString& password);
    void forget(const SyncAccount& account);

    static std::optional<QString> readKeyring(const QString& key);
    static bool writeKeyring(const QString& key, const QString& password);
    static QString keyOf(const SyncAccount& account);

private:
    Dialogs* dialogs_;
    QWidget* parent_;
    QHash<QString, QString> memory_;
};
