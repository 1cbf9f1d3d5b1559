#include "gui/tree/GroupTreeModel.h"

#include <unordered_set>

#include "core/rules/GroupMove.h"
#include "core/text/Keys.h"
#include "gui/shared/ContactDrag.h"
#include "gui/shared/Pictures.h"
#include "core/rules/DirectorySession.h"
#include "core/store/RowTable.h"

GroupTreeModel::GroupTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void GroupTreeModel::rebuild(DirectorySession& session, const RowTable* everybody) {
    std::vector<Group> groups;
    std::vector<Contact> contacts;
    std::string text;
    for (const GroupRow& row : session.treeGroups())
        groups.push_back({row.key, row.name, {}});
    std::vector<std::string> groupKeys;
    for (const Group& g : groups)
        groupKeys.push_back(g.key.toStdString());

    size_t lastGroup = 0;
    auto visit = [&](std::string_view key, std::string_view groupKey, std::string_view name) {
        // People of one group tend to come together: try the last group first.
        if (lastGroup >= groupKeys.size() || groupKeys[lastGroup] != groupKey) {
            lastGroup = 0;
            while (lastGroup < groupKeys.size() && groupKeys[lastGroup] != groupKey)
                ++lastGroup;
            if (lastGroup == groupKeys.size())
                return; // its group is gone: left out of the tree
        }
        Group& group = groups[lastGroup];
        Contact c{};
        c.keyOffset = static_cast<uint32_t>(text.size());
        c.keyLength = static_cast<uint32_t>(key.size());
        text.append(key);
        c.nameOffset = static_cast<uint32_t>(text.size());
        c.nameLength = static_cast<uint32_t>(name.size());
        text.append(name);
        c.group = static_cast<uint32_t>(lastGroup);
        c.row = static_cast<uint32_t>(group.members.size());
        group.members.push_back(static_cast<uint32_t>(contacts.size()));
        contacts.push_back(c);
    };
    if (everybody && everybody->hasGroups()) {
        everybody->forEachFilled(visit);
    } else {
        contacts.reserve(static_cast<size_t>(session.contactCount()));
        session.forEachTreeContact(visit);
    }

    emit nodesAboutToChange();
    beginResetModel();
    groups_ = std::move(groups);
    contacts_ = std::move(contacts);
    text_ = std::move(text);
    removed_ = 0;
    draggedKnown_ = false;
    endResetModel();
}

void GroupTreeModel::clear() {
    emit nodesAboutToChange();
    beginResetModel();
    groups_.clear();
    contacts_.clear();
    text_.clear();
    removed_ = 0;
    draggedKnown_ = false;
    endResetModel();
}

QModelIndex GroupTreeModel::rootIndex() const {
    return createIndex(0, 0, idFor(RootNode, 0));
}

QModelIndex GroupTreeModel::indexForKey(const QString& key) const {
    switch (keys::kindOf(key)) {
    case keys::Kind::Root:
        return key == keys::Root ? rootIndex() : QModelIndex();
    case keys::Kind::Group:
        for (size_t i = 0; i < groups_.size(); ++i) {
            if (groups_[i].key == key)
                return createIndex(static_cast<int>(i), 0, idFor(GroupNode, i));
        }
        return {};
    case keys::Kind::Contact: {
        const std::string wanted = key.toStdString();
        for (size_t i = 0; i < contacts_.size(); ++i) {
            if (!contacts_[i].removed && bytes(contacts_[i].keyOffset, contacts_[i].keyLength) == wanted)
                return createIndex(static_cast<int>(contacts_[i].row), 0, idFor(ContactNode, i));
        }
        return {};
    }
    }
    return {};
}

QString GroupTreeModel::keyOf(const QModelIndex& index) const {
    if (!index.isValid())
        return {};
    switch (kindOf(index)) {
    case RootNode:
        return keys::Root;
    case GroupNode:
        return groups_[numberOf(index)].key;
    case ContactNode: {
        const Contact& c = contacts_[numberOf(index)];
        const std::string_view key = bytes(c.keyOffset, c.keyLength);
        return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    }
    }
    return {};
}

QString GroupTreeModel::contactName(const Contact& c) const {
    const std::string_view name = bytes(c.nameOffset, c.nameLength);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

void GroupTreeModel::setLabel(const QModelIndex& index, const QString& text) {
    if (!index.isValid())
        return;
    if (kindOf(index) == GroupNode) {
        groups_[numberOf(index)].name = text;
    } else if (kindOf(index) == ContactNode) {
        Contact& c = contacts_[numberOf(index)];
        const QByteArray utf8 = text.toUtf8();
        c.nameOffset = static_cast<uint32_t>(text_.size());
        c.nameLength = static_cast<uint32_t>(utf8.size());
        text_.append(utf8.constData(), static_cast<size_t>(utf8.size()));
    } else {
        return;
    }
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
}

bool GroupTreeModel::removeContact(const QString& key) {
    if (keys::kindOf(key) != keys::Kind::Contact)
        return false;
    const QModelIndex node = indexForKey(key);
    if (!node.isValid())
        return false;
    Contact& gone = contacts_[numberOf(node)];
    Group& group = groups_[gone.group];
    const int row = static_cast<int>(gone.row);
    emit nodesAboutToChange();
    beginRemoveRows(node.parent(), row, row);
    group.members.erase(group.members.begin() + row);
    for (size_t i = static_cast<size_t>(row); i < group.members.size(); ++i)
        --contacts_[group.members[i]].row;
    gone.removed = true;
    ++removed_;
    draggedKnown_ = false;
    endRemoveRows();
    return true;
}

QModelIndex GroupTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? rootIndex() : QModelIndex();
    switch (kindOf(parent)) {
    case RootNode:
        return row < static_cast<int>(groups_.size()) ? createIndex(row, 0, idFor(GroupNode, row)) : QModelIndex();
    case GroupNode: {
        const Group& g = groups_[numberOf(parent)];
        return row < static_cast<int>(g.members.size()) ? createIndex(row, 0, idFor(ContactNode, g.members[row]))
                                                        : QModelIndex();
    }
    case ContactNode:
        return {};
    }
    return {};
}

QModelIndex GroupTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    switch (kindOf(child)) {
    case RootNode:
        return {};
    case GroupNode:
        return rootIndex();
    case ContactNode: {
        const uint32_t group = contacts_[numberOf(child)].group;
        return createIndex(static_cast<int>(group), 0, idFor(GroupNode, group));
    }
    }
    return {};
}

int GroupTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return 1;
    if (parent.column() != 0)
        return 0;
    switch (kindOf(parent)) {
    case RootNode:
        return static_cast<int>(groups_.size());
    case GroupNode:
        return static_cast<int>(groups_[numberOf(parent)].members.size());
    case ContactNode:
        return 0;
    }
    return 0;
}

int GroupTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant GroupTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Kind kind = kindOf(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (kind == RootNode)
            return QStringLiteral("所有人");
        if (kind == GroupNode)
            return groups_[numberOf(index)].name;
        return contactName(contacts_[numberOf(index)]);
    case Qt::DecorationRole:
        return pictures::node(kind == RootNode    ? pictures::Everybody
                              : kind == GroupNode ? pictures::Group
                                                  : pictures::Contact);
    case PictureRole:
        return kind == RootNode ? 1 : kind == GroupNode ? 2 : 3;
    case KeyRole:
        return keyOf(index);
    default:
        return {};
    }
}

Qt::ItemFlags GroupTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // The top node's label cannot be edited.
    if (kindOf(index) != RootNode)
        f |= Qt::ItemIsEditable;
    if (kindOf(index) == ContactNode)
        f |= Qt::ItemNeverHasChildren;
    if (kindOf(index) == GroupNode)
        f |= Qt::ItemIsDropEnabled;
    return f;
}

QSet<QString> GroupTreeModel::groupsOf(const QStringList& contactKeys) const {
    std::vector<std::string> keyBytes;
    keyBytes.reserve(static_cast<size_t>(contactKeys.size()));
    for (const QString& key : contactKeys)
        keyBytes.push_back(key.toStdString());
    const std::unordered_set<std::string_view> wanted(keyBytes.begin(), keyBytes.end());
    // One pass over the people, however many are dragged.
    std::vector<bool> found(groups_.size(), false);
    for (const Contact& c : contacts_) {
        if (!c.removed && !found[c.group] && wanted.count(bytes(c.keyOffset, c.keyLength)))
            found[c.group] = true;
    }
    QSet<QString> groups;
    for (size_t g = 0; g < groups_.size(); ++g) {
        if (found[g])
            groups.insert(groups_[g].key);
    }
    return groups;
}

QStringList GroupTreeModel::mimeTypes() const {
    return {contactdrag::MimeType};
}

bool GroupTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                     const QModelIndex& parent) const {
    if (!data || !(action & Qt::MoveAction) || row != -1 || column > 0 || !parent.isValid() || !data->hasFormat(contactdrag::MimeType))
        return false;
    const QByteArray payload = data->data(contactdrag::MimeType);
    if (!draggedKnown_ || payload != draggedKeys_) {
        draggedGroups_ = groupsOf(contactdrag::keysOf(data));
        draggedKeys_ = payload;
        draggedKnown_ = true;
    }
    return moveWouldChange(draggedGroups_, keyOf(parent));
}

bool GroupTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    emit peopleDropped(contactdrag::keysOf(data), keyOf(parent));
    return true;
}

bool GroupTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || kindOf(index) == RootNode)
        return false;
    emit labelEdited(keyOf(index), value.toString());
    return true;
}
