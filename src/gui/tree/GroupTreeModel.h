#pragma once
// The tree's content: the top node "所有人", the groups under it and every person under its group,
// held as plain rows. Views create items only for what they show, so a rebuild at 100,000 people
// costs little more than reading them.
#include <QAbstractItemModel>
#include <QByteArray>
#include <QSet>
#include <string>
#include <string_view>
#include <vector>

class DirectorySession;
class RowTable;

class GroupTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int PictureRole = Qt::UserRole + 2;

    explicit GroupTreeModel(QObject* parent = nullptr);

    // Reads every group and every person; a person whose group is gone is left out. Throws StoreError.
    // From the data file; or, given a fill of everybody that kept each row's group (RowTable::hasGroups),
    // from that fill, without reading the people again.
    void rebuild(DirectorySession& session, const RowTable* everybody = nullptr);
    void clear();

    QModelIndex rootIndex() const;
    QModelIndex indexForKey(const QString& key) const; // invalid when no node has that key
    QString keyOf(const QModelIndex& index) const;
    int contactCount() const { return static_cast<int>(contacts_.size()) - removed_; }
    // Shows a new label once the data file holds it.
    void setLabel(const QModelIndex& index, const QString& text);
    // Takes one person's node out, leaving every other node, its expansion and the selection as
    // they are; false when no person has that key.
    bool removeContact(const QString& key);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // The groups the people with these keys hang under now; one the tree does not hold adds none.
    QSet<QString> groupsOf(const QStringList& contactKeys) const;
    // People dragged from the list go onto a group that is not already theirs all (GroupMove.h);
    // any other node shows no drop highlight and takes nothing.
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    // People were dropped on a group; the move itself is the window's (through the session).
    void peopleDropped(const QStringList& contactKeys, const QString& groupKey);
    // The user ended an in-place edit of the node with that key; nothing is shown until it is
    // stored.
    void labelEdited(const QString& key, const QString& text);
    // The nodes are about to be rebuilt or one removed: an open editor ends first, without writing.
    void nodesAboutToChange();

private:
    enum Kind : quintptr { RootNode = 1, GroupNode = 2, ContactNode = 3 };
    static quintptr idFor(Kind kind, quintptr number) { return (number << 2) | kind; }
    static Kind kindOf(const QModelIndex& index) { return static_cast<Kind>(index.internalId() & 3); }
    static quintptr numberOf(const QModelIndex& index) { return index.internalId() >> 2; }

    struct Group {
        QString key;
        QString name;
        std::vector<uint32_t> members; // indexes into contacts_, in table order
    };
    struct Contact {
        uint32_t keyOffset, keyLength, nameOffset, nameLength;
        uint32_t group;
        uint32_t row; // position under its group
        bool removed; // taken out by removeContact; its number is not handed to another person
    };
    std::string_view bytes(uint32_t offset, uint32_t length) const { return {text_.data() + offset, length}; }
    QString contactName(const Contact& c) const;

    std::vector<Group> groups_;
    std::vector<Contact> contacts_;
    std::string text_; // the people's keys and names, as UTF-8
    int removed_ = 0;
    // The groups of the people being dragged, asked for at every move of the pointer: found once.
    mutable bool draggedKnown_ = false;
    mutable QByteArray draggedKeys_;
    mutable QSet<QString> draggedGroups_;
};
