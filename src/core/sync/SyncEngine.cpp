#include "core/sync/SyncEngine.h"

#include "core/exchange/Exporter.h"
#include "core/exchange/PhotoBytes.h"
#include "core/store/GroupNames.h"
#include "core/store/SamePerson.h"
#include "core/store/Store.h"
#include "core/sync/CardPatch.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMultiHash>
#include <QSaveFile>
#include <QSet>
#include <QStorageInfo>
#include <QUuid>

namespace {

constexpr qint64 MaxPhotoFile = SyncEngine::MaxPhoto;
constexpr int MaxPutAttempts = 3;
constexpr int MaxRedirects = 5;
constexpr int MaxSyncPages = 1000;

const QString DefaultGroupName = cardpatch::defaultGroup();


QByteArray xmlText(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

// No sync-token here: the one that counts comes with sync-collection, and Radicale computes a
// collection's token over every card it holds (seconds for 10,000) whenever it is asked for one.
const QByteArray PropfindBook =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propfind xmlns:d=\"DAV:\" "
    "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop><d:resourcetype/><d:displayname/>"
    "<d:current-user-principal/><c:addressbook-home-set/><d:supported-report-set/>"
    "</d:prop></d:propfind>";
const QByteArray PropfindEtags =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/>"
    "<d:getetag/></d:prop></d:propfind>";

using Row = SyncCardRow;
using Change = SyncChange;

struct Entry {
    QString href;
    QString etag;
    bool deleted = false;
};

bool isSuccess(int status) {
    return status >= 200 && status < 300;
}

// Why a run stopped at the data file. A full disk is said plainly, with what became of the batch
// being written and what to do.
QString storeFailure(const StoreError& e) {
    if (e.kind() == StoreError::Kind::DiskFull)
        return QStringLiteral("磁盘已满：正在写入的这一批变化已全部撤销，腾出磁盘空间后再同步即可。（%1）")
            .arg(e.detail());
    return QStringLiteral("数据文件：%1").arg(e.message());
}

// The run stopped before writing anything, for the user to decide (SyncReport says about what).
struct Stopped {
    QString why;
};

// A group's card has a row among the cards, under a key no contact has: "group", its group's key and
// its href, apart by tabs.
QString groupRowKey(const QString& groupKey, const QString& href) {
    return QStringLiteral("group\t") + groupKey + u'\t' + href;
}
bool isGroupRow(const QString& friendid) {
    return friendid.startsWith(QStringLiteral("group\t"));
}
QString groupKeyOfRow(const QString& friendid) {
    return friendid.section(u'\t', 1, 1);
}
QString memberUid(QString uid) {
    uid = uid.trimmed();
    return uid.startsWith(u"urn:uuid:", Qt::CaseInsensitive) ? uid.mid(9) : uid;
}

bool isWebAddress(const QString& photo) {
    return photo.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           photo.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

} // namespace

QString SyncReport::text() const {
    QStringList lines;
    if (!error.isEmpty())
        lines.append(QStringLiteral("同步失败：%1").arg(error));
    else if (ok)
        lines.append(QStringLiteral("同步完成。"));
    else
        lines.append(QStringLiteral("同步结束，但有名片没有交换成功。"));
    lines.append(QStringLiteral("下载 %1 个，上传 %2 个，本地删除 %3 个，服务器上删除 %4 个，冲突 %5 处。")
                     .arg(downloaded)
                     .arg(uploaded)
                     .arg(deletedHere)
                     .arg(deletedThere)
                     .arg(conflicts));
    for (const QString& problem : problems)
        lines.append(problem);
    for (const QString& note : notes)
        lines.append(note);
    return lines.join(u'\n');
}

QUrl startUrl(const QString& typed) {
    QString t = typed.trimmed();
    if (t.isEmpty())
        return {};
    if (!t.contains(QStringLiteral("://"))) {
        const qsizetype at = t.lastIndexOf(u'@');
        if (at >= 0)
            t = t.mid(at + 1);
        t = QStringLiteral("https://") + t;
    }
    QUrl url(t, QUrl::StrictMode);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

QString otherHostQuestion(const QString& otherHost, const QString& typed) {
    return QStringLiteral("服务器把同步引向了另一台服务器 %1，不是您输入的 %2。\n\n"
                          "要把用户名和密码发往 %1 吗？只有在您信任这台服务器时才选“是”。")
        .arg(otherHost, startUrl(typed).host());
}

namespace {

// PROPFIND Depth 0 that follows redirects (/.well-known/carddav answers with one).
std::pair<QUrl, DavMultiStatus> propfindFollowing(DavClient& client, QUrl url, const QByteArray& body) {
    for (int hop = 0; hop <= MaxRedirects; ++hop) {
        const DavReply reply = client.send("PROPFIND", url, body, {{"Depth", "0"}});
        if (reply.status >= 300 && reply.status < 400 && reply.location.isValid()) {
            url = reply.location;
            continue;
        }
        if (reply.status != 207)
            throw DavError(DavError::Kind::Server, davStatusText(reply.status), reply.status);
        return {url, DavClient::parseMultiStatus(reply.body)};
    }
    throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器转向太多次"));
}

QUrl withSlash(QUrl url) {
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

AddressBookInfo bookFrom(const QUrl& url, const DavResponse& response) {
    AddressBookInfo book;
    book.url = withSlash(url);
    book.name = response.props.value(QStringLiteral("displayname")).text.trimmed();
    book.syncCollection =
        response.props.value(QStringLiteral("supported-report-set")).elements.contains(QStringLiteral("sync-collection"));
    return book;
}

bool isAddressBook(const DavResponse& response) {
    return response.props.value(QStringLiteral("resourcetype")).elements.contains(QStringLiteral("addressbook"));
}

} // namespace

std::vector<AddressBookInfo> discoverAddressBooks(DavClient& client, const QUrl& start) {
    if (!start.isValid() || start.host().isEmpty())
        throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器地址无效"));
    QStringList principals;
    QStringList homes;
    QUrl base = start;
    try {
        const auto [url, ms] = propfindFollowing(client, start, PropfindBook);
        base = url;
        for (const DavResponse& r : ms.responses) {
            if (isAddressBook(r))
                return {bookFrom(url.resolved(QUrl(r.href)), r)};
            principals += r.props.value(QStringLiteral("current-user-principal")).hrefs;
            homes += r.props.value(QStringLiteral("addressbook-home-set")).hrefs;
        }
    } catch (const DavError& e) {
        if (e.kind() != DavError::Kind::Server)
            throw;
    }
    if (principals.isEmpty() && homes.isEmpty()) {
        const auto [url, ms] = propfindFollowing(client, start.resolved(QUrl(QStringLiteral("/.well-known/carddav"))),
                                                 PropfindBook);
        base = url;
        for (const DavResponse& r : ms.responses) {
            principals += r.props.value(QStringLiteral("current-user-principal")).hrefs;
            homes += r.props.value(QStringLiteral("addressbook-home-set")).hrefs;
        }
    }
    if (homes.isEmpty() && !principals.isEmpty()) {
        const auto [url, ms] = propfindFollowing(client, base.resolved(QUrl(principals.first())), PropfindBook);
        base = url;
        for (const DavResponse& r : ms.responses)
            homes += r.props.value(QStringLiteral("addressbook-home-set")).hrefs;
    }
    QList<QUrl> homeUrls;
    for (const QString& home : homes)
        homeUrls.append(withSlash(base.resolved(QUrl(home))));
    if (homeUrls.isEmpty())
        homeUrls.append(withSlash(start));
    std::vector<AddressBookInfo> books;
    for (const QUrl& home : homeUrls) {
        const DavMultiStatus ms = client.multiStatus("PROPFIND", home, 1, PropfindBook);
        for (const DavResponse& r : ms.responses) {
            if (isAddressBook(r))
                books.push_back(bookFrom(home.resolved(QUrl(r.href)), r));
        }
    }
    if (books.empty())
        throw DavError(DavError::Kind::Server, QStringLiteral("服务器上没有找到通讯录"));
    return books;
}

// ---------------------------------------------------------------------------------------------

struct SyncEngine::Impl {
    SyncEngine& engine;
    Store& store;
    SyncTable& table;
    DavClient& client;
    SyncReport report;
    QUrl collection;
    QSet<QString> leaving;                 // hrefs this run found gone from the server
    bool groupCardsChanged = false;        // a group's card came in this run
    QHash<QString, QStringList> sharedUid; // UID -> names of the different cards that carry it
    QString photosFolder;
    bool localChanged = false; // in the open transaction
    QStringList batchPhotos;   // pictures the open transaction wrote into photos/

    // Groups by name, the first of a name winning as in the tree; read when first needed.
    std::optional<GroupNames> groups;

    // Local contacts without a card are matched to a first sync's server cards by the import's rule.
    SamePersonFinder samePeople;

    Impl(SyncEngine& e, Store& s, DavClient& c)
        : engine(e), store(s), table(s.syncTable()), client(c),
          photosFolder(QFileInfo(e.dataFile_).absoluteDir().filePath(QStringLiteral("photos"))), samePeople(s) {}

    void progress(const QString& text) {
        if (engine.onProgress)
            engine.onProgress(text);
    }

    // ---- transactions
    // One batch: written whole or not at all. The write lock is taken first, so that a window
    // writing at the same time makes the batch wait (busy timeout) instead of failing it half-way.
    // On any failure the transaction ends rolled back whole (store/Transaction.h), and the run stops.
    template <typename F> void inBatch(F&& work) {
        localChanged = false;
        batchPhotos.clear();
        try {
            Transaction batch = store.transaction(Transaction::Lock::Immediate);
            work();
            batch.commit();
        } catch (...) {
            // What the batch read of the groups may be gone with it.
            groups.reset();
            // Its pictures too: nobody names them now, and on a full disk their room is needed.
            for (const QString& photo : std::as_const(batchPhotos))
                QFile::remove(photo);
            throw;
        }
        ++report.transactions;
        if (localChanged && engine.onLocalChange)
            engine.onLocalChange();
        localChanged = false;
    }

    // ---- state
    QString state(const char* key) { return table.state(key); }
    void setState(const char* key, const QString& value) { table.setState(key, value); }
    Row rowByHref(const QString& href) { return table.cardByHref(href); }
    Row rowByFriend(const QString& friendid) { return table.cardOf(friendid); }
    void writeRow(const QString& friendid, const QString& href, const QString& etag, const QString& uid,
                  const QByteArray& card) {
        table.writeCard({friendid, href, etag, uid, card, true});
    }
    void deleteRow(const QString& friendid) { table.removeCard(friendid); }
    std::optional<Change> changeOf(const QString& friendid) { return table.change(friendid); }
    void dropChange(const QString& friendid) { table.dropChange(friendid); }
    void dropChangeAt(const Change& change) { table.dropChange(change); }

    // ---- local contacts
    GroupNames& readGroups() {
        if (!groups)
            groups.emplace(store);
        return *groups;
    }
    QString groupNameOf(const QString& key) { return readGroups().nameOf(key); }
    QString groupKeyFor(const QString& name, const QString& current) {
        GroupNames& names = readGroups();
        if (name.isEmpty()) {
            if (names.exists(current))
                return current;
            if (!names.first().isEmpty())
                return names.first();
            return groupKeyFor(DefaultGroupName, {});
        }
        if (names.exists(current) && names.nameOf(current) == name)
            return current;
        bool created = false;
        const QString key = names.keyFor(name, &created);
        localChanged = localChanged || created;
        return key;
    }

    bool standsForNoCategory(const QString& group) {
        return group == DefaultGroupName || group == readGroups().nameOf(readGroups().first());
    }

    std::optional<SyncContact> loadLocal(const QString& friendid) {
        const std::optional<ContactFields> fields = store.loadContact(friendid);
        if (!fields)
            return std::nullopt;
        SyncContact contact;
        contact.fields = *fields;
        contact.group = groupNameOf(fields->groupKey);
        if (auto picture = photobytes::readPictureFile(fields->photo, MaxPhotoFile)) {
            contact.photo = std::move(picture->bytes);
            contact.photoExtension = std::move(picture->extension);
        }
        return contact;
    }

    // A picture this side cannot read (over the size limit, or its file gone) is no change of the
    // contact: the card keeps the server's picture, and the path of a local file never goes up in its
    // place. A server picture too large to be kept here stays the card's picture as well.
    static void settlePhoto(SyncContact& local, const std::optional<SyncContact>& base) {
        if (!local.photo.isEmpty() || isWebAddress(local.fields.photo))
            return;
        if (base && !base->photo.isEmpty() && (!local.fields.photo.isEmpty() || base->photo.size() > MaxPhotoFile)) {
            local.photo = base->photo;
            local.photoExtension = base->photoExtension;
        } else if (base && isWebAddress(base->fields.photo) && !local.fields.photo.isEmpty()) {
            local.fields.photo = base->fields.photo;
        } else {
            local.fields.photo.clear();
        }
    }

    // The picture of a server card as a file beside the data file, named by its bytes.
    QString savePhoto(const SyncContact& contact) {
        const QString extension =
            contact.photoExtension.isEmpty() ? photobytes::extensionFor(contact.photo, {}) : contact.photoExtension;
        const QString name =
            QString::fromLatin1(QCryptographicHash::hash(contact.photo, QCryptographicHash::Sha256).toHex().left(32)) +
            u'.' + extension;
        const QString path = QDir(photosFolder).filePath(name);
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.size() == contact.photo.size() &&
            existing.readAll() == contact.photo)
            return path;
        if (!QDir().mkpath(photosFolder))
            return {};
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        const bool whole = file.write(contact.photo) == contact.photo.size();
        if (whole && file.commit()) {
            batchPhotos.append(path);
            return path;
        }
        // No room for the picture: the card must not be recorded as synced without it, or it would
        // never come again. The batch rolls back, and the next sync brings the card once there is room.
        if (!whole || QStorageInfo(photosFolder).bytesAvailable() < contact.photo.size())
            throw StoreError::diskFull(QStringLiteral("%1 的照片无法保存到 %2")
                                           .arg(contact.fields.name, QDir::toNativeSeparators(photosFolder))
                                           .toStdString());
        return {};
    }

    // Writes a contact as the sync sees it; returns its key (a new one when friendid is empty).
    QString writeLocal(const QString& friendid, const SyncContact& contact, const std::optional<SyncContact>& local) {
        ContactFields fields = contact.fields;
        fields.groupKey = groupKeyFor(contact.group, local ? local->fields.groupKey : QString());
        if (!contact.photo.isEmpty()) {
            if (local && synccard::value(*local, CardField::Photo) == synccard::value(contact, CardField::Photo)) {
                fields.photo = local->fields.photo;
            } else if (contact.photo.size() > MaxPhotoFile) {
                // Never read back for an upload either: it stays on the server, untouched (see
                // settlePhoto), and the contact keeps the picture it had here.
                fields.photo = local ? local->fields.photo : QString();
                report.notes.append(QStringLiteral("%1 的照片有 %2 MB，超过 %3 MB，只留在服务器上")
                                        .arg(contact.fields.name)
                                        .arg(contact.photo.size() / (1024 * 1024))
                                        .arg(MaxPhotoFile / (1024 * 1024)));
            } else {
                fields.photo = savePhoto(contact);
                if (fields.photo.isEmpty())
                    report.problems.append(
                        QStringLiteral("%1 的照片无法保存到 %2").arg(contact.fields.name, photosFolder));
            }
        }
        localChanged = true;
        samePeople.written(local ? std::optional<ContactFields>(local->fields) : std::nullopt, fields);
        if (friendid.isEmpty())
            return store.addContact(fields);
        store.updateContact(friendid, fields);
        return friendid;
    }

    void keepConflicts(const QString& friendid, const QString& name, const std::vector<FieldConflict>& conflicts) {
        const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        for (const FieldConflict& c : conflicts) {
            table.addConflict({0, friendid, name, synccard::fieldId(c.field), c.local, c.server, now});
            ++report.conflicts;
        }
    }

    // ---- first-sync matching
    QString match(const SyncContact& server, const QString& uid) {
        auto taken = [&](const QString& key) { return rowByFriend(key).found; };
        // A card of this data file carries its contact's own UID; an imported contact keeps the UID
        // its card had.
        if (!uid.isEmpty()) {
            const QStringList byUid = QStringList{store.uids().contactOf(uid)} + store.keptTable().contactsWithUid(uid);
            for (const QString& key : byUid) {
                if (!key.isEmpty() && !taken(key) && store.loadContact(key))
                    return key;
            }
        }
        // A contact that has a card already is somebody else's match.
        return samePeople.find(server.fields, taken).key;
    }

    // ---- pull
    void applyServerCard(const QString& href, const QString& etag, const QByteArray& card) {
        QString uid;
        QString error;
        const std::optional<SyncContact> server = synccard::read(card, &uid, &error);
        if (!server) {
            report.problems.append(QStringLiteral("服务器上的名片 %1 无法读取：%2").arg(href, error));
            return;
        }
        if (server->groupCard) {
            applyGroupCard(href, etag, uid, card, *server);
            return;
        }
        // The card's address is who it is; its UID only a hint. Another card of the same UID is the
        // same person only when it moved here: its old address went from the server in this run.
        // Else they are two people (a server may hold thousands of different cards of one UID).
        Row row = rowByHref(href);
        QString sharing; // a contact whose card has the same UID
        if (!row.found && !uid.isEmpty()) {
            sharing = table.contactOfUid(uid);
            const Row moved = sharing.isEmpty() ? Row() : rowByFriend(sharing);
            if (moved.found && leaving.contains(moved.href)) {
                row = moved;
                sharing.clear();
            }
        }
        if (row.found) {
            std::optional<SyncContact> local = loadLocal(row.friendid);
            const std::optional<Change> change = changeOf(row.friendid);
            std::optional<SyncContact> base;
            if (!row.card.isEmpty())
                base = synccard::read(row.card, nullptr, nullptr);
            if (local)
                settlePhoto(*local, base);
            if (!local) {
                // Deleted here, changed there: the change wins and the contact comes back.
                deleteRow(row.friendid);
                dropChange(row.friendid);
                const QString key = writeLocal({}, *server, std::nullopt);
                store.uids().adopt(key, uid);
                writeRow(key, href, etag, uid, card);
                dropChange(key);
                ++report.downloaded;
                return;
            }
            if (row.href != href)
                deleteRow(row.friendid);
            if (change && !change->deleted) {
                std::vector<FieldConflict> conflicts;
                const SyncContact merged = synccard::merge(base ? &*base : nullptr, *local, *server, conflicts);
                if (!synccard::same(merged, *local))
                    writeLocal(row.friendid, merged, local);
                keepConflicts(row.friendid, merged.fields.name, conflicts);
                writeRow(row.friendid, href, etag, row.uid.isEmpty() ? uid : row.uid, card);
                if (synccard::same(merged, *server))
                    dropChange(row.friendid);
            } else {
                if (!synccard::same(*local, *server))
                    writeLocal(row.friendid, *server, local);
                writeRow(row.friendid, href, etag, uid, card);
                dropChange(row.friendid);
            }
            ++report.downloaded;
            return;
        }
        if (!sharing.isEmpty())
            noteSharedUid(uid, sharing, server->fields.name);
        const QString matched = match(*server, uid);
        if (!matched.isEmpty()) {
            const std::optional<SyncContact> local = loadLocal(matched);
            std::vector<FieldConflict> conflicts;
            const SyncContact merged = synccard::merge(nullptr, *local, *server, conflicts);
            if (!synccard::same(merged, *local))
                writeLocal(matched, merged, local);
            keepConflicts(matched, merged.fields.name, conflicts);
            writeRow(matched, href, etag, uid, card);
            if (synccard::same(merged, *server))
                dropChange(matched);
        } else {
            const QString key = writeLocal({}, *server, std::nullopt);
            store.uids().adopt(key, uid);
            writeRow(key, href, etag, uid, card);
            dropChange(key);
        }
        ++report.downloaded;
    }

    // ---- groups' cards
    // A group's card is a group here, never a person: the group of its name (made when there is none),
    // renamed when the card was renamed and the group was not here. Its members are placed after the
    // pull (placeMembers).
    void applyGroupCard(const QString& href, const QString& etag, const QString& uid, const QByteArray& card,
                        const SyncContact& server) {
        const Row row = rowByHref(href);
        QString key;
        if (row.found && isGroupRow(row.friendid)) {
            key = groupKeyOfRow(row.friendid);
            const std::optional<SyncContact> old = synccard::read(row.card, nullptr, nullptr);
            GroupNames& names = readGroups();
            if (!names.exists(key)) {
                key = groupKeyFor(server.group, {});
            } else if (old && names.nameOf(key) == old->group && server.group != old->group &&
                       store.renameGroup(key, server.group)) {
                groups.reset();
                localChanged = true;
            }
            deleteRow(row.friendid);
        } else {
            if (row.found) {
                // An earlier run took the group's card for a person: that person goes (to 最近删除),
                // here only; the card stays on the server.
                if (store.loadContact(row.friendid)) {
                    store.deleteContact(row.friendid);
                    localChanged = true;
                }
                dropChange(row.friendid);
                deleteRow(row.friendid);
            }
            key = groupKeyFor(server.group, {});
        }
        writeRow(groupRowKey(key, href), href, etag, uid, card);
        groupCardsChanged = true;
        ++report.downloaded;
    }

    // The members of the groups' cards are put into their groups, the first card (by href) that names
    // a person winning. A person whose own card names a group (CATEGORIES) stays in it, and one with a
    // change waiting to go up keeps it.
    void placeMembers() {
        const std::vector<Row> rows = table.groupCards();
        if (rows.empty() || (!groupCardsChanged && report.downloaded == 0))
            return;
        inBatch([&] {
            QSet<QString> placed;
            for (const Row& row : rows) {
                const QString key = groupKeyOfRow(row.friendid);
                const std::optional<SyncContact> card = synccard::read(row.card, nullptr, nullptr);
                if (!card || !readGroups().exists(key))
                    continue;
                for (const QString& member : card->members) {
                    const QString contact = table.contactOfUid(memberUid(member));
                    if (contact.isEmpty() || isGroupRow(contact) || placed.contains(contact))
                        continue;
                    placed.insert(contact);
                    std::optional<ContactFields> fields = store.loadContact(contact);
                    if (!fields || fields->groupKey == key || changeOf(contact))
                        continue;
                    const Row person = rowByFriend(contact);
                    const std::optional<SyncContact> own = synccard::read(person.card, nullptr, nullptr);
                    if (own && !own->group.isEmpty())
                        continue;
                    fields->groupKey = key;
                    store.updateContact(contact, *fields);
                    dropChange(contact);
                    localChanged = true;
                }
            }
        });
    }

    // Whether the group has a card of its own on the server: its people are named there, not by a
    // CATEGORIES line on their cards.
    bool hasGroupCard(const QString& groupName) {
        for (const Row& row : table.groupCards()) {
            if (readGroups().nameOf(groupKeyOfRow(row.friendid)) == groupName)
                return true;
        }
        return false;
    }

    // After the people went up: each group's card names the people moved into its group and no
    // longer those moved out (of the card that placed them), and carries the group's name.
    void pushGroupCards(const std::vector<Change>& changes, const QHash<QString, QString>& uidsOfDeleted) {
        std::vector<Row> rows = table.groupCards();
        if (rows.empty())
            return;
        groups.reset();
        // Who placed whom: the first card naming a person, as placeMembers reads them.
        QHash<QString, QString> placedBy; // uid -> href
        QHash<QString, QStringList> membersOf;
        QHash<QString, QString> namesOf; // href -> the group's name as the card gives it
        for (const Row& row : rows) {
            const std::optional<SyncContact> card = synccard::read(row.card, nullptr, nullptr);
            namesOf.insert(row.href, card ? card->group : QString());
            QStringList members;
            for (const QString& member : card ? card->members : QStringList())
                members.append(memberUid(member));
            for (const QString& member : members) {
                if (!placedBy.contains(member))
                    placedBy.insert(member, row.href);
            }
            membersOf.insert(row.href, members);
        }
        // Each changed person once: the card's UID, the group here (none when deleted).
        struct Moved {
            QString friendid, uid, groupKey;
        };
        std::vector<Moved> moved;
        for (const Change& change : changes) {
            const QString uid =
                change.deleted ? uidsOfDeleted.value(change.friendid) : rowByFriend(change.friendid).uid;
            if (uid.isEmpty() || (!membersOf.isEmpty() && !placedBy.contains(uid) && change.deleted))
                continue;
            const std::optional<ContactFields> fields =
                change.deleted ? std::nullopt : store.loadContact(change.friendid);
            moved.push_back({change.deleted ? QString() : change.friendid, uid, fields ? fields->groupKey : QString()});
        }
        for (const Row& row : rows) {
            const QString key = groupKeyOfRow(row.friendid);
            if (!readGroups().exists(key))
                continue;
            const QStringList& members = membersOf[row.href];
            QStringList add, remove;
            for (const Moved& person : moved) {
                if (person.groupKey == key) {
                    if (!members.contains(person.uid))
                        add.append(person.uid);
                } else if (placedBy.value(person.uid) == row.href) {
                    // Moved out, unless the person's own card names the group it is in.
                    const std::optional<SyncContact> own =
                        person.friendid.isEmpty() ? std::nullopt
                                                  : synccard::read(rowByFriend(person.friendid).card, nullptr, nullptr);
                    if (!own || own->group.isEmpty())
                        remove.append(person.uid);
                }
            }
            // Renamed here: the card takes the new name. A name the card has longer than a group's
            // name may be stays whole.
            const QString name = readGroups().nameOf(key);
            uploadGroupCard(row, name == namesOf.value(row.href) ? QString() : name, add, remove);
        }
    }

    QString groupNameOf(const Row& row) { return readGroups().nameOf(groupKeyOfRow(row.friendid)); }

    void uploadGroupCard(Row row, const QString& name, const QStringList& add, const QStringList& remove) {
        for (int attempt = 0; attempt < MaxPutAttempts; ++attempt) {
            const std::optional<QByteArray> card = cardpatch::groupCard(row.card, name, add, remove);
            if (!card || *card == row.card)
                return;
            DavClient::Headers headers;
            if (!row.etag.isEmpty())
                headers.append(qMakePair(QByteArray("If-Match"), QByteArray(row.etag.toUtf8())));
            const DavReply reply = client.send("PUT", urlOf(row.href), *card, headers);
            if (isSuccess(reply.status)) {
                inBatch([&] { writeRow(row.friendid, row.href, QString::fromUtf8(reply.etag), row.uid, *card); });
                ++report.uploaded;
                return;
            }
            if (reply.status != 412) {
                report.problems.append(
                    QStringLiteral("上传分组 %1 失败：%2").arg(groupNameOf(row), davStatusText(reply.status)));
                return;
            }
            // Changed there meanwhile: the same edit on the card as it is now.
            const auto fetched = fetch(row.href);
            if (!fetched)
                return;
            row.card = fetched->first;
            row.etag = fetched->second;
        }
        report.problems.append(QStringLiteral("上传分组 %1 失败：服务器上的名片一直在变").arg(groupNameOf(row)));
    }

    void noteSharedUid(const QString& uid, const QString& other, const QString& name) {
        QStringList& names = sharedUid[uid];
        if (names.isEmpty()) {
            const std::optional<ContactFields> first = store.loadContact(other);
            names.append(first ? first->name : other);
        }
        names.append(name);
    }

    // The summary names the people whose different cards share a UID: each is a person of their own.
    void reportSharedUids() {
        for (auto it = sharedUid.cbegin(); it != sharedUid.cend(); ++it) {
            const QStringList& names = it.value();
            constexpr int Named = 5;
            QString who = names.mid(0, Named).join(QStringLiteral("、"));
            if (names.size() > Named)
                who += QStringLiteral(" 等");
            report.notes.append(QStringLiteral("服务器上有 %1 张不同的名片共用 UID %2，已作为 %1 个人保存：%3")
                                    .arg(names.size())
                                    .arg(it.key(), who));
        }
    }

    void applyServerDeletion(const QString& href) {
        const Row row = rowByHref(href);
        if (!row.found)
            return;
        const std::optional<Change> change = changeOf(row.friendid);
        const bool exists = store.loadContact(row.friendid).has_value();
        if (exists && change && !change->deleted) {
            // Changed here, deleted there: the change wins; the card goes up again as a new one.
            const QString uid = row.uid.isEmpty() ? newUid() : row.uid;
            writeRow(row.friendid, hrefFor(uid), {}, uid, {});
            return;
        }
        if (exists) {
            store.deleteContact(row.friendid);
            localChanged = true;
            ++report.deletedHere;
        }
        deleteRow(row.friendid);
        dropChange(row.friendid);
    }

    QString normalHref(const QString& href) const {
        return collection.resolved(QUrl(href)).path(QUrl::FullyEncoded);
    }
    // Whether an href names something inside the address book (compared decoded: a server may write
    // "@" as "%40" in one place and not in another).
    bool inBook(const QString& href) const {
        const QString book = QUrl::fromPercentEncoding(collection.path(QUrl::FullyEncoded).toUtf8());
        const QString decoded = QUrl::fromPercentEncoding(href.toUtf8());
        return decoded.startsWith(book) && decoded.size() > book.size();
    }
    QUrl urlOf(const QString& href) const { return collection.resolved(QUrl::fromEncoded(href.toUtf8())); }
    static QString newUid() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }
    QString hrefFor(const QString& uid) const {
        QString safe;
        for (const QChar c : uid)
            safe += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_');
        return collection.path(QUrl::FullyEncoded) + safe + QStringLiteral(".vcf");
    }

    std::vector<Entry> listAll(int expected) {
        const DavMultiStatus ms = client.multiStatus("PROPFIND", collection, 1, PropfindEtags, expected);
        std::vector<Entry> entries;
        const QString self = collection.path(QUrl::FullyEncoded);
        for (const DavResponse& r : ms.responses) {
            const QString href = normalHref(r.href);
            // Only the address book's own cards: an answer may name anything on the server.
            if (href == self || !inBook(href) ||
                r.props.value(QStringLiteral("resourcetype")).elements.contains(QStringLiteral("collection")))
                continue;
            entries.push_back({href, r.props.value(QStringLiteral("getetag")).text.trimmed(), false});
        }
        return entries;
    }

    // sync-collection from the token (empty: everything); the new token in `token`. Nothing when the
    // server refused the token.
    std::optional<std::vector<Entry>> listChanges(QString& token, int expected) {
        std::vector<Entry> entries;
        const QString self = collection.path(QUrl::FullyEncoded);
        for (int page = 0; page < MaxSyncPages; ++page) {
            const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:sync-collection xmlns:d=\"DAV:\">"
                                    "<d:sync-token>" +
                                    xmlText(token) +
                                    "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop>"
                                    "</d:sync-collection>";
            DavMultiStatus ms;
            try {
                ms = client.multiStatus("REPORT", collection, 0, body, token.isEmpty() ? expected : 0);
            } catch (const DavError& e) {
                // A token the server no longer knows is refused in many ways (Radicale answers 403,
                // Xandikos 500): any refusal of a token leads to a listing from the start, which
                // fails in its turn when the server is broken.
                if (e.kind() == DavError::Kind::Server && !token.isEmpty())
                    return std::nullopt;
                throw;
            }
            bool truncated = false;
            for (const DavResponse& r : ms.responses) {
                const QString href = normalHref(r.href);
                if (href == self) {
                    truncated = truncated || r.status == 507;
                    continue;
                }
                if (!inBook(href))
                    continue;
                if (r.status == 404)
                    entries.push_back({href, {}, true});
                else
                    entries.push_back({href, r.props.value(QStringLiteral("getetag")).text.trimmed(), false});
            }
            if (ms.syncToken.isEmpty())
                throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器没有给出同步标记"));
            token = ms.syncToken;
            if (!truncated)
                return entries;
        }
        throw DavError(DavError::Kind::Protocol, QStringLiteral("服务器的变化列表没有尽头"));
    }

    void pull(const AddressBookInfo& book) {
        progress(QStringLiteral("正在读取服务器上的变化…"));
        // A listing's deadline grows with the address book; the directory tells its likely size.
        QHash<QString, QString> known; // href -> etag, of every card row
        table.forEachCard([&](const QString& href, const QString& etag) { known.insert(href, etag); });
        const int expected = std::max<int>(static_cast<int>(known.size()), store.contactCount());
        std::vector<Entry> entries;
        bool full = true;
        QString token;
        bool tokenUsed = false;
        if (book.syncCollection && engine.useSyncCollection) {
            token = state("token");
            bool fromStart = token.isEmpty();
            std::optional<std::vector<Entry>> changes = listChanges(token, expected);
            if (!changes) {
                // The server forgot the token: start over from the whole list.
                token.clear();
                fromStart = true;
                changes = listChanges(token, expected);
            }
            if (!changes)
                throw DavError(DavError::Kind::Server, QStringLiteral("服务器不接受同步标记"));
            entries = std::move(*changes);
            full = fromStart;
            tokenUsed = true;
            report.usedSyncCollection = true;
        } else {
            entries = listAll(expected);
        }

        std::vector<QString> changed;
        std::vector<QString> deleted;
        QSet<QString> listed;
        for (const Entry& e : entries) {
            if (e.deleted) {
                if (known.contains(e.href))
                    deleted.push_back(e.href);
                continue;
            }
            listed.insert(e.href);
            const auto it = known.constFind(e.href);
            if (it == known.cend() || it.value().isEmpty() || it.value() != e.etag)
                changed.push_back(e.href);
        }
        if (full) {
            for (auto it = known.cbegin(); it != known.cend(); ++it) {
                // A card whose upload was never confirmed may not be there yet: it goes up again.
                if (!listed.contains(it.key()) && !it.value().isEmpty())
                    deleted.push_back(it.key());
            }
        }
        entries.clear();
        leaving = QSet<QString>(deleted.cbegin(), deleted.cend());
        checkMassDeletion(deleted);

        const int batch = std::max(1, engine.batchSize);
        for (size_t from = 0; from < changed.size(); from += batch) {
            progress(QStringLiteral("正在下载名片 %1/%2…").arg(from).arg(changed.size()));
            QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><c:addressbook-multiget xmlns:d=\"DAV:\" "
                              "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop><d:getetag/><c:address-data/>"
                              "</d:prop>";
            const size_t to = std::min(changed.size(), from + batch);
            QSet<QString> asked;
            for (size_t i = from; i < to; ++i) {
                body += "<d:href>" + xmlText(changed[i]) + "</d:href>";
                asked.insert(changed[i]);
            }
            body += "</c:addressbook-multiget>";
            const DavMultiStatus ms = client.multiStatus("REPORT", collection, 1, body, static_cast<int>(to - from));
            inBatch([&] {
                for (const DavResponse& r : ms.responses) {
                    const QString href = normalHref(r.href);
                    if (!asked.contains(href))
                        continue; // an answer about something not asked for is ignored
                    asked.remove(href);
                    if (r.status == 404) {
                        applyServerDeletion(href);
                        continue;
                    }
                    const DavProp data = r.props.value(QStringLiteral("address-data"));
                    if (data.text.isEmpty()) {
                        report.problems.append(QStringLiteral("服务器没有给出名片 %1").arg(href));
                        continue;
                    }
                    applyServerCard(href, r.props.value(QStringLiteral("getetag")).text.trimmed(),
                                    data.text.toUtf8());
                }
            });
            for (const QString& href : asked)
                report.problems.append(QStringLiteral("服务器没有给出名片 %1").arg(href));
        }
        for (size_t from = 0; from < deleted.size(); from += batch) {
            inBatch([&] {
                for (size_t i = from; i < std::min(deleted.size(), from + batch); ++i)
                    applyServerDeletion(deleted[i]);
            });
        }
        if (tokenUsed)
            inBatch([&] { setState("token", token); });
        placeMembers();
        reportSharedUids();
    }

    // An address book that lost most of its cards at once is more often a server's fault (a wrong
    // collection, an account reset) than the user's wish: before anything is written, a run that
    // would delete more than a few people here, and more than half of them, stops and asks.
    void checkMassDeletion(const std::vector<QString>& deleted) {
        if (engine.allowMassDeletion || static_cast<int>(deleted.size()) <= SyncEngine::MassDeletionFloor)
            return;
        int people = 0;
        for (const QString& href : deleted) {
            const Row row = rowByHref(href);
            if (!row.found)
                continue;
            const std::optional<Change> change = changeOf(row.friendid);
            if (change && !change->deleted)
                continue; // changed here: it goes up again instead
            if (store.loadContact(row.friendid))
                ++people;
        }
        const int all = store.contactCount();
        if (people <= SyncEngine::MassDeletionFloor || people * 2 <= all)
            return;
        report.massDeletion = people;
        report.directorySize = all;
        throw Stopped{QStringLiteral("服务器上的通讯录这次要在本地删除 %1 个联系人（共 %2 个），同步已停下，"
                                     "什么也没有删除")
                          .arg(people)
                          .arg(all)};
    }

    // ---- push
    std::optional<std::pair<QByteArray, QString>> fetch(const QString& href) {
        const DavReply reply = client.send("GET", urlOf(href));
        if (reply.status == 404 || reply.status == 410)
            return std::nullopt;
        if (reply.status != 200)
            throw DavError(DavError::Kind::Server, davStatusText(reply.status), reply.status);
        return std::make_pair(reply.body, QString::fromUtf8(reply.etag));
    }

    void uploadDeletion(const Change& change) {
        const Row row = rowByFriend(change.friendid);
        if (!row.found) {
            inBatch([&] { dropChangeAt(change); });
            return;
        }
        DavClient::Headers headers;
        if (!row.etag.isEmpty())
            headers.append(qMakePair(QByteArray("If-Match"), QByteArray(row.etag.toUtf8())));
        const DavReply reply = client.send("DELETE", urlOf(row.href), {}, headers);
        if (isSuccess(reply.status) || reply.status == 404 || reply.status == 410) {
            inBatch([&] {
                deleteRow(change.friendid);
                dropChangeAt(change);
            });
            if (isSuccess(reply.status))
                ++report.deletedThere;
            return;
        }
        if (reply.status == 412) {
            // Changed there since: the change wins, the contact comes back here.
            const auto fetched = fetch(row.href);
            inBatch([&] {
                if (fetched)
                    applyServerCard(row.href, fetched->second, fetched->first);
                else
                    deleteRow(change.friendid);
                dropChangeAt(change);
            });
            return;
        }
        report.problems.append(QStringLiteral("删除服务器上的名片 %1 失败：%2").arg(row.href, davStatusText(reply.status)));
    }

    void uploadChange(const Change& change) {
        std::optional<SyncContact> local = loadLocal(change.friendid);
        if (!local) {
            inBatch([&] { dropChangeAt(change); });
            return;
        }
        Row row = rowByFriend(change.friendid);
        std::optional<SyncContact> base;
        if (row.found && !row.card.isEmpty())
            base = synccard::read(row.card, nullptr, nullptr);
        settlePhoto(*local, base);
        // A card without a category puts its person into the first group here (or 未分组): being there
        // is no category to add to the card.
        if (base && base->group.isEmpty() && (standsForNoCategory(local->group) || hasGroupCard(local->group)))
            local->group.clear();
        if (base && !row.etag.isEmpty() && synccard::same(*base, *local)) {
            inBatch([&] { dropChangeAt(change); });
            return;
        }
        if (!row.found) {
            // The contact's own UID, which its exported cards carry too; a fresh one where a card of
            // another contact has it already (a copied data file).
            row.uid = cardUid(change.friendid);
            if (row.uid.isEmpty() || !table.contactOfUid(row.uid).isEmpty())
                row.uid = newUid();
            row.href = hrefFor(row.uid);
            row.friendid = change.friendid;
            // Written before the upload, so that a run cut after the PUT finds its own card again.
            inBatch([&] { writeRow(row.friendid, row.href, {}, row.uid, {}); });
        }
        // What the contact's imported card held beyond the columns goes up with its first card; later
        // cards carry over what the server's card holds.
        const QByteArray firstKept = row.card.isEmpty() ? keptCard(change.friendid) : QByteArray();
        for (int attempt = 0; attempt < MaxPutAttempts; ++attempt) {
            const QByteArray card = cardFor(*local, row, base, firstKept);
            if (!row.etag.isEmpty() && card == row.card) {
                // Nothing the card shows changed (a person moved into the group that stands for none).
                inBatch([&] { dropChangeAt(change); });
                return;
            }
            DavClient::Headers headers;
            if (row.etag.isEmpty())
                headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
            else
                headers.append(qMakePair(QByteArray("If-Match"), QByteArray(row.etag.toUtf8())));
            const DavReply reply = client.send("PUT", urlOf(row.href), card, headers);
            if (isSuccess(reply.status)) {
                inBatch([&] {
                    writeRow(row.friendid, row.href, QString::fromUtf8(reply.etag), row.uid, card);
                    dropChangeAt(change);
                });
                ++report.uploaded;
                return;
            }
            if (reply.status != 412) {
                report.problems.append(
                    QStringLiteral("上传 %1 失败：%2").arg(local->fields.name, davStatusText(reply.status)));
                return;
            }
            // Someone else wrote the card: merge with theirs and try again.
            const auto fetched = fetch(row.href);
            if (!fetched) {
                row.etag.clear();
                continue;
            }
            QString error;
            const std::optional<SyncContact> server = synccard::read(fetched->first, nullptr, &error);
            if (!server) {
                report.problems.append(QStringLiteral("服务器上的名片 %1 无法读取：%2").arg(row.href, error));
                return;
            }
            std::vector<FieldConflict> conflicts;
            SyncContact merged = synccard::merge(base ? &*base : nullptr, *local, *server, conflicts);
            inBatch([&] {
                if (!synccard::same(merged, *local))
                    writeLocal(row.friendid, merged, local);
                keepConflicts(row.friendid, merged.fields.name, conflicts);
                writeRow(row.friendid, row.href, fetched->second, row.uid, fetched->first);
                if (synccard::same(merged, *server))
                    dropChange(row.friendid);
            });
            if (synccard::same(merged, *server) || fetched->second.isEmpty())
                return;
            local = loadLocal(row.friendid);
            if (!local)
                return;
            settlePhoto(*local, server);
            if (server->group.isEmpty() && standsForNoCategory(local->group))
                local->group.clear();
            base = server;
            row.etag = fetched->second;
            row.card = fetched->first;
        }
        report.problems.append(QStringLiteral("上传 %1 失败：服务器上的名片一直在变").arg(local->fields.name));
    }

    // The card to send: the one the server has, edited where the contact changed; a whole new card
    // only for a contact the server has no card of yet (or one that cannot be edited line by line).
    static QByteArray cardFor(const SyncContact& local, const Row& row, const std::optional<SyncContact>& base,
                              const QByteArray& firstKept) {
        if (!row.card.isEmpty() && base) {
            if (std::optional<QByteArray> patched = cardpatch::patch(row.card, *base, local))
                return *patched;
        }
        return synccard::write(local, row.uid, row.card.isEmpty() ? firstKept : row.card);
    }

    // The UID the contact's cards carry, as the export writes it: the one its imported card came with,
    // else its own.
    QString cardUid(const QString& friendid) {
        if (store.keptTable().hasTable()) {
            for (const KeptProperty& property : store.keptTable().load(friendid)) {
                if (property.field == keptfield::Uid && !property.value.isEmpty())
                    return property.value;
            }
        }
        return store.uids().uidOf(friendid, true);
    }

    // The contact as the export writes it, with its kept properties; empty when it has none.
    QByteArray keptCard(const QString& friendid) {
        if (!store.keptTable().hasTable() || store.keptTable().load(friendid).empty())
            return {};
        return Exporter(store).build(ExportSelection::contacts({friendid}), ExportFormat::VCard30);
    }

    void push() {
        inBatch([&] { table.markUnsent(); });
        const std::vector<Change> changes = table.changes();
        // The UIDs of people deleted here, while their cards' rows are there: the groups' cards let go
        // of them.
        QHash<QString, QString> uidsOfDeleted;
        for (const Change& change : changes) {
            if (change.deleted)
                uidsOfDeleted.insert(change.friendid, rowByFriend(change.friendid).uid);
        }
        int done = 0;
        for (const Change& change : changes) {
            if (done++ % 50 == 0)
                progress(QStringLiteral("正在上传变化 %1/%2…").arg(done - 1).arg(changes.size()));
            if (change.deleted)
                uploadDeletion(change);
            else
                uploadChange(change);
        }
        pushGroupCards(changes, uidsOfDeleted);
    }
};

SyncEngine::SyncEngine(Store& store, const QString& dataFile, DavClient& client, const SyncAccount& account)
    : store_(store), dataFile_(dataFile), client_(client), account_(account) {}

SyncReport SyncEngine::run() {
    Impl impl(*this, store_, client_);
    SyncReport& report = impl.report;
    try {
        if (store_.isReadOnly())
            throw StoreError("数据文件是只读的");
        // Whoever the sync deletes here can be found again among the recently deleted.
        store_.recentlyDeleted().install();
        store_.recentlyDeleted().setNow(storedDate(QDate::currentDate()) +
                                        QTime::currentTime().toString(QStringLiteral(" HH:mm")));
        // The password goes to the server the user typed, and to another only with the user's yes.
        client_.setHome(startUrl(account_.url));
        client_.allowHost(account_.otherHost);
        impl.progress(QStringLiteral("正在连接服务器…"));
        AddressBookInfo book;
        const QUrl chosen = QUrl(account_.addressBook);
        std::vector<AddressBookInfo> books = discoverAddressBooks(
            client_, account_.addressBook.isEmpty() ? startUrl(account_.url) : chosen);
        book = books.front();
        impl.collection = book.url;
        report.addressBook = book.url.toDisplayString();
        const QString collectionText = book.url.toString(QUrl::FullyEncoded);
        if (impl.state("collection") != collectionText) {
            // Another address book: everything here is new to it.
            impl.inBatch([&] {
                impl.table.forgetServer();
                impl.setState("collection", collectionText);
            });
        }
        impl.pull(book);
        impl.push();
        report.ok = report.problems.isEmpty();
    } catch (const Stopped& stop) {
        report.error = stop.why;
    } catch (const DavError& e) {
        report.error = e.message();
        if (e.kind() == DavError::Kind::OtherHost)
            report.otherHost = e.url().host();
    } catch (const StoreError& e) {
        report.error = storeFailure(e);
    } catch (const std::exception& e) {
        report.error = QStringLiteral("数据文件：%1").arg(QString::fromUtf8(e.what()));
    }
    return report;
}

// ---------------------------------------------------------------------------------------------

namespace syncconflicts {

std::vector<SyncConflict> list(Store& store) {
    std::vector<SyncConflict> out;
    for (const SyncConflictRow& c : store.syncTable().conflicts())
        out.push_back({c.id, c.contactKey, c.name, c.field, c.local, c.server, c.at});
    return out;
}

void dismiss(Store& store, qint64 id) {
    store.syncTable().removeConflict(id);
}

void takeBack(Store& store, const SyncConflict& conflict) {
    const std::optional<CardField> field = synccard::fieldFromId(conflict.field);
    std::optional<ContactFields> fields = store.loadContact(conflict.contactKey);
    if (!field || !fields) {
        dismiss(store, conflict.id);
        return;
    }
    Transaction transaction = store.transaction();
    switch (*field) {
    case CardField::Birthday:
        synccard::parseBirthday(conflict.local, *fields);
        break;
    case CardField::Group:
        if (!conflict.local.isEmpty())
            fields->groupKey = GroupNames(store).keyFor(conflict.local);
        break;
    case CardField::Photo:
        fields->photo = conflict.local;
        break;
    default:
        // Every other field is a plain text of the contact.
        if (QString ContactFields::*text = catalogue::info(*field).text)
            (*fields).*text = conflict.local;
        break;
    }
    store.updateContact(conflict.contactKey, *fields);
    store.syncTable().removeConflict(conflict.id);
    transaction.commit();
}

} // namespace syncconflicts
