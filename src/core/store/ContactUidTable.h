#pragma once
// Table zinteva_uid: each contact's own UID, made at random when the contact is made, and written
// into every card of it (export, sync), so that a card that comes back finds that person and no
// other, even in a copied or restored data file that hands out the same ids again.
//
// Cards written by older builds carry "zinteva-<the file's random part>-friend<id>"; when the table
// is first made in a data file, every contact it holds is given that UID, so those cards still find
// their person. Every function throws StoreError on a failing statement.
#include <QString>
#include <memory>

class Connection;
class Statement;

class ContactUidTable {
public:
    explicit ContactUidTable(Connection& connection) : connection_(connection) {}

    // Gives every contact of the file its UID: the form its cards were written with by older builds,
    // or a new random one. The schema's step that makes the table calls it, in its transaction.
    void giveEveryContactItsUid();

    // A new random UID.
    static QString makeRandom();

    // Gives a new contact its random UID, in the caller's transaction.
    void assign(const QString& contactKey);

    // The contact's UID. A contact without one (made by an older build or another program) gets one
    // now when `create` is set and the file can be written; otherwise the form its cards had before,
    // or an empty text.
    QString uidOf(const QString& contactKey, bool create);

    // uidOf() for many contacts in a row (an export): the table is looked for and the statement
    // prepared once.
    class Reader {
    public:
        Reader(ContactUidTable& table, bool exists);
        Reader(Reader&&) noexcept;
        ~Reader();
        QString uidOf(const QString& contactKey, bool create);

    private:
        ContactUidTable& table_;
        std::unique_ptr<Statement> select_; // null: no table
        QString legacyFilePart_;
    };
    Reader reader() { return Reader(*this, exists()); }

    // Gives the contact the UID its card came with (a card from a server), unless another contact
    // carries it already; true when the contact now has it.
    bool adopt(const QString& contactKey, const QString& uid);

    // The contact that carries this UID; empty when no contact of this data file does.
    QString contactOf(const QString& uid);

    // Keeps the table in step with deletes (before the contacts go).
    void remove(const QString& contactKey);
    void removeGroup(const QString& groupKey);

private:
    friend class Reader;
    bool exists();
    QString legacyFilePart();
    void store(const QString& contactKey, const QString& uid);
    Connection& connection_;
};
