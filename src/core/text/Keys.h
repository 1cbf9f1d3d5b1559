#pragma once
// One key space serves the data file, the tree and the list:
//   "root"          the tree's top node (everybody); no row carries it
//   "main" + id     a group (分类 of the group row, mainid of its people)
//   "friend" + id   a person (friendid)
// The first four characters tell the kinds apart.
#include <QString>
#include <optional>

namespace keys {

inline const QString Root = QStringLiteral("root");

enum class Kind { Root, Group, Contact };

Kind kindOf(const QString& key);
inline bool isGroup(const QString& key) {
    return kindOf(key) == Kind::Group;
}
inline bool isRoot(const QString& key) {
    return kindOf(key) == Kind::Root;
}

QString groupKey(qint64 id);
QString contactKey(qint64 id);

// The number behind "main"/"friend"; nothing for "root" or a malformed key.
std::optional<qint64> idOf(const QString& key);

} // namespace keys
