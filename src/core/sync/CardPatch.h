#pragma once
// An upload edits the card the server has instead of writing a new one. The card as last synced is
// the base: the properties of the fields the user changed are rewritten in place (same group prefix,
// same parameters, same place), the ones of a field that became empty are removed, the ones of a
// field that was empty are added; every other line stays byte for byte as another device wrote it
// (other addresses, other categories, repeated nicknames and messengers, picture addresses, the
// parts of a structured name, X- properties, texts longer than a column holds).
#include "core/sync/SyncCard.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace cardpatch {

// The group name that stands for "no category": a card that has none is shown in it, and a person
// in it needs no CATEGORIES line.
QString defaultGroup();

// The base card with the fields in which `now` differs from `was` (the base as read) rewritten.
// Nothing when the base cannot be edited line by line (vCard 2.1, several cards in one text, a card
// the reader reads differently than expected): the caller then writes a whole card.
std::optional<QByteArray> patch(const QByteArray& base, const SyncContact& was, const SyncContact& now);

// A group's card with its name (FN, the first part of N; an empty name leaves them) and its members
// changed: members named in
// `remove` go, those in `add` are written as the card writes its others (MEMBER or
// X-ADDRESSBOOKSERVER-MEMBER, urn:uuid: or not). Nothing when the card cannot be edited line by line.
std::optional<QByteArray> groupCard(const QByteArray& base, const QString& name, const QStringList& add,
                                    const QStringList& remove);

// The structured name (family; given; additional; prefix; suffix) for a name the user typed, made
// from the card's old one: its parts stay where the new name still has them, a Chinese name is
// split after its family name (王小明: 王;小明), a Western one at its blanks.
QStringList structuredName(const QStringList& old, const QString& name);

} // namespace cardpatch
