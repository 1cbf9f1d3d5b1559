#pragma once
// "同步设置": the server, the user, the password, the address book and the interval of automatic
// sync. "测试连接" looks for the address books off the window's thread and shows what it found.
#include "core/sync/SyncEngine.h"

#include <QDialog>
#include <memory>

class Dialogs;
class KeyringPasswords;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;

class SyncSettingsDialog : public QDialog {
    Q_OBJECT
public:
    SyncSettingsDialog(const SyncAccount& account, int intervalMinutes, const QString& password, Dialogs& dialogs,
                       QWidget* parent = nullptr);
    ~SyncSettingsDialog() override;

    SyncAccount account() const;
    QString password() const;
    int intervalMinutes() const;

    // Runs the connection test; the result shows in resultText().
    void testConnection();
    QString resultText() const;
    bool testing() const;

    QLineEdit* urlEdit() const { return url_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QComboBox* bookBox() const { return books_; }
    QComboBox* intervalBox() const { return interval_; }

signals:
    void conflictsRequested();
    void testFinished();

private:
    // otherHost: the host a discovery led to, where the password did not go (empty for none).
    void showResult(const std::vector<AddressBookInfo>& books, const QString& error, const QString& refused,
                    const QString& otherHost);

    Dialogs& dialogs_;
    QLineEdit* url_;
    QLineEdit* user_;
    QLineEdit* password_;
    QComboBox* books_;
    QComboBox* interval_;
    QPushButton* test_;
    QLabel* result_;
    QString trusted_;
    QString otherHost_; // another host the user allowed the password to go to
    std::unique_ptr<QThread> thread_;
};
