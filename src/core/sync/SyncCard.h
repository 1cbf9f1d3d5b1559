#pragma once
// A contact as the sync compares it: the fields of phone, its group's name (the first CATEGORIES
// value) and its picture's bytes. Cards are read with the exchange's reader and written with its
// writer as vCard 3.0; what a card held that has no column (a second e-mail, ORG, other categories,
// X- properties of other programs) is carried over from the card as last synced, so a sync never
// strips what another device stored.
#include "core/store/ContactFields.h"
#include "core/store/FieldCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The fields the merge compares: every column of the catalogue (the lunar birthday is part of the
// birthday's value).
using CardField = catalogue::Field;

struct SyncContact {
    ContactFields fields; // groupKey is not compared; fields.photo is a path or a URI
    QString group;
    QByteArray photo; // the picture's bytes (from the card, or read from the local file)
    QString photoExtension;
    // A group's card (KIND:group, X-ADDRESSBOOKSERVER-KIND:group): no person. `group` is its name,
    // `members` the UIDs of its members.
    bool groupCard = false;
    QStringList members;
};

struct FieldConflict {
    CardField field;
    QString local;  // the local value the server's replaced
    QString server; // the value now stored
};

namespace synccard {

QString fieldId(CardField field);          // "mobile": stored with a conflict
std::optional<CardField> fieldFromId(const QString& id);
QString fieldLabel(CardField field);       // "移动电话": shown to the user
// The value compared by the merge: the text of the field; a picture by its bytes' digest.
QString value(const SyncContact& contact, CardField field);
// The birthday is its Gregorian day ("1951-01-15"), followed by the lunar date when it is one
// ("1951-01-15（农历 1950年腊月初八）"); parseBirthday reads that text back into both fields.
void parseBirthday(const QString& text, ContactFields& fields);
// The value shown to the user (a picture: its path, or "（图片）").
QString displayValue(const SyncContact& contact, CardField field);
void copyField(SyncContact& to, const SyncContact& from, CardField field);
bool same(const SyncContact& a, const SyncContact& b);

// Three-way merge. base is the card as last synced, or nothing on a first sync (then a field set on one
// side only is taken from that side). Where both sides changed a field differently the server's value
// wins and the local one goes into conflicts.
SyncContact merge(const SyncContact* base, const SyncContact& local, const SyncContact& server,
                  std::vector<FieldConflict>& conflicts);

// Reads one card; nothing (and the reason in error) when it cannot be read.
std::optional<SyncContact> read(const QByteArray& card, QString* uid, QString* error);
// Writes a vCard 3.0 card; the lines of `keptFrom` (the card as last synced) that no field stands for
// are carried over.
QByteArray write(const SyncContact& contact, const QString& uid, const QByteArray& keptFrom);

} // namespace synccard
