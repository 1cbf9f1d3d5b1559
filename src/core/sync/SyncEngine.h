#pragma once
// Two-way sync of the directory with one CardDAV address book. A run pulls the server's changes
// (sync-collection where the server offers it, else a PROPFIND of ETags), fetches the changed cards
// with addressbook-multiget in batches and applies each batch in one transaction; then it sends the
// local changes the data file's change log recorded: PUT with If-None-Match or If-Match, DELETE with
// If-Match. A 412 answer leads to a field-by-field merge and a retry, never to an overwrite.
#include "core/rules/DirectorySession.h"
#include "core/sync/Dav.h"
#include "core/sync/SyncCard.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <vector>

class Store;

struct SyncAccount {
    QString url;         // an address book's URL, or a server (or e-mail domain) to discover from
    QString user;
    QString addressBook; // the chosen address book's URL when discovery found several; may be empty
    QString trustedCertificate; // SHA-256 fingerprint (hex) the user trusts explicitly
    // A host other than the typed one that the user allowed the password to go to (a discovery or a
    // redirect led there and the user said yes); empty for none.
    QString otherHost;
    bool isSet() const { return !url.trimmed().isEmpty(); }
};

// Where to ask for the password: the desktop's keyring in the window, standard input on the command
// line. Nothing means the user gave none.
class PasswordSource {
public:
    virtual ~PasswordSource() = default;
    virtual std::optional<QString> password(const SyncAccount& account) = 0;
};

struct AddressBookInfo {
    QUrl url;
    QString name;
    bool syncCollection = false;
};

struct SyncReport {
    bool ok = false;     // every change went both ways
    QString error;       // why the run stopped (in Chinese); empty when it ran to the end
    QStringList problems; // single cards that could not be exchanged
    QString addressBook;
    bool usedSyncCollection = false;
    int downloaded = 0;     // server cards added or changed here
    int uploaded = 0;       // local contacts sent
    int deletedHere = 0;    // contacts deleted because the server deleted them
    int deletedThere = 0;   // cards deleted on the server
    int conflicts = 0;      // fields where both sides differed and the server's value won
    int transactions = 0;   // write transactions committed
    // Why the run stopped before writing anything, waiting for the user's yes: the people it would
    // have deleted here (of how many), or the other host it would have taken the password to.
    int massDeletion = 0;
    int directorySize = 0;
    QString otherHost;
    QStringList notes;      // what the user should know that is no failure (cards sharing a UID)
    QString text() const;   // the summary for the user
};

// The URL to start from: "example.com" and "user@example.com" become https://example.com/.
QUrl startUrl(const QString& typed);

// The question before the password goes to another host than the typed one.
QString otherHostQuestion(const QString& otherHost, const QString& typed);

// Finds the address books of the account. Throws DavError.
std::vector<AddressBookInfo> discoverAddressBooks(DavClient& client, const QUrl& start);

class SyncEngine {
public:
    SyncEngine(Store& store, const QString& dataFile, DavClient& client, const SyncAccount& account);

    SyncReport run();

    std::function<void(const QString&)> onProgress;
    std::function<void()> onLocalChange; // after each committed batch that changed contacts or groups
    bool useSyncCollection = true;       // off: the ETag listing path
    int batchSize = 100;
    // A run that would delete more than MassDeletionFloor people here, and more than half of the
    // directory, stops before writing anything unless this is set (the user said yes).
    bool allowMassDeletion = false;
    static constexpr int MassDeletionFloor = 10;
    // The largest picture taken from a card or sent in one, both ways.
    static constexpr qint64 MaxPhoto = 16 * 1024 * 1024;

private:
    struct Impl;
    Store& store_;
    QString dataFile_;
    DavClient& client_;
    SyncAccount account_;
};

// The conflicts kept for the user, and taking a local value back.
struct SyncConflict {
    qint64 id = 0;
    QString contactKey;
    QString name;
    QString field; // fieldId
    QString local;
    QString server;
    QString at;
};
namespace syncconflicts {
// Throws StoreError.
std::vector<SyncConflict> list(Store& store);
// The window's list: nothing, and *failure says why, when the data file cannot be read.
std::vector<SyncConflict> list(DirectorySession& session, QString* failure);
// The local values back into their contacts through the session (one step, undoable, with its
// change notices; the values travel at the next sync), the conflicts ended.
CommandResult takeBack(DirectorySession& session, const std::vector<SyncConflict>& conflicts);
CommandResult dismiss(DirectorySession& session, const std::vector<SyncConflict>& conflicts);
} // namespace syncconflicts
