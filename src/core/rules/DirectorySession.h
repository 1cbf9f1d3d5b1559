#pragma once
// The directory session: the rules of the program, without a window. It owns the documented
// variables (CurrentGroup, EditFlag, CurrentContactId, NewGroupName, what the list shows,
// RemindDays, ...) and every command that changes the data file. A command takes explicit keys and
// values and returns a CommandResult that says what the window does next: rebuild the tree, select a
// node, replace the list's rows, select a row, show a message. The window applies it in one place.
//
// Whoever changes the data file through the session (a window, an import, another program part),
// the session says what changed (contactsAdded, groupsRenamed, everythingChanged, ...); a window
// that did not make the change refreshes from these notices.
#include "core/exchange/PhotoFolder.h"
#include "core/rules/BirthdayCountdown.h"
#include "core/store/OpenOptions.h"
#include "core/store/Query.h"
#include "core/store/RowTable.h"
#include "core/store/ContactFields.h"
#include "core/store/RecentlyDeleted.h"
#include "core/store/UndoLog.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class Store;
class Dialogs;
class Clock;
class Settings;
struct ImportBatch;
class Importer;
struct ImportOptions;
struct ImportSummary;

// What a test replaces: the dialogs, today's date, the settings store and the program's folder.
struct Environment {
    Dialogs* dialogs = nullptr;
    const Clock* clock = nullptr;
    Settings* settings = nullptr;
    QString programDir;
};

// What the list shows: the people of a tree node, or the rows of a query (a search or the birthday
// reminder) that a refresh runs again.
struct ListShows {
    std::optional<Query> query;
    QString nodeKey; // without a query: the node whose people are listed; empty: the tree's current node

    bool isQuery() const { return query.has_value(); }
    static ListShows node(QString key = {}) { return {std::nullopt, std::move(key)}; }
    static ListShows result(Query q) { return {std::move(q), {}}; }
    friend bool operator==(const ListShows&, const ListShows&) = default;
};

// What the window shows, as the history keeps it: an undo brings back the view the change found, a
// redo the view it left, with the list refilled from the data file as it is then.
struct ShownView {
    QString node;                        // the tree's selected node; empty: none
    std::optional<QStringList> expanded; // the tree's expanded nodes; nothing: as a rebuild leaves them
    ListShows list;                      // what the list's rows are
    int picture = 3;                     // the rows' picture
    QString row;                         // the list's selected row; empty: none
    friend bool operator==(const ShownView&, const ShownView&) = default;
};

// A message for the user, in the program's own words.
struct Notice {
    enum class Kind { Plain, Info, Warning };
    Kind kind = Kind::Plain;
    QString text;
    friend bool operator==(const Notice&, const Notice&) = default;
};

// What the window does after a command, in this order: the tree, then the list, then the message.
struct CommandResult {
    bool ok = true; // false: nothing was written (a form that asked stays open)

    bool rebuildTree = false;
    QString treeFailure;         // the words before the store's message when the rebuild fails
    QString selectNode;          // after the rebuild: expand and select this node ("root": nothing)
    bool selectRootNode = false; // the top node becomes the current node
    QString removeNode;          // one person's node taken out, the rest of the tree as it was
    QString currentNode;         // made the current node after the rest
    std::optional<QStringList> expandNodes; // after the rebuild exactly these nodes are expanded
    QString labelKey, label;     // a node shows a new label

    std::optional<RowTable> rows; // the list's new rows, all with one picture
    int picture = 3;
    std::optional<ReminderMarks> reminder; // with the reminder's rows: each one's days left and age
    QString removeRow;               // one row taken out, by key
    QString renameRow, rowName;      // one row shows a new name
    QString selectRow;               // the row selected afterwards (none when no row has the key)
    bool focusList = false;

    std::optional<Notice> notice;
};

// The longest group name, in characters (a Chinese character or an emoji counts as one).
inline constexpr int GroupNameMax = 30;
QString fitGroupName(const QString& name);

// The reminder's statement (nowbirthday between today and today + days, both ends included) and
// its message; an empty message: none.
Query reminderQuery(const QDate& today, int days);
QString reminderMessage(int days, int found, bool startup);

class DirectorySession : public QObject {
    Q_OBJECT
public:
    Environment env;
    OpenOptions storeOptions; // how the load step opens the data file; a test may name a fault VFS

    // The documented variables.
    std::shared_ptr<Store> Conn; // opened by the load step, released by the close step
    bool EditFlag = false;       // true exactly while a record form is open for a new person
    QString CurrentGroup;        // key of the tree node the last action worked on
    QString CurrentContactId;    // key of the person last opened in or saved from the record form
    QString NewGroupName;        // the name typed for a new group, at most 30 characters
    ListShows ListSource;        // what the list shows: the tree's node, or a search or reminder
    // What the list's rows are now. Unlike ListSource it names the node, and it stays a node's
    // people when a search or the start-up reminder found nobody and the list kept its rows.
    ListShows Listed;
    // The window's view as it is now (the window sets it); without one the history keeps
    // CurrentGroup, Listed and CurrentContactId.
    std::function<ShownView()> shownView;
    int RemindDays = 10;         // setting "day"
    int RemindAtStart = 1;       // setting "birthday"
    bool StartupRemind = false;  // true only while the load step runs the reminder
    // How a picture chosen in the record form is made small enough to keep (photofolder::Shrink);
    // the window gives it.
    photofolder::Shrink shrinkPicture;

    // The load step's list: everybody, or the start-up reminder when it is on.
    CommandResult start();
    // A click on a tree node: its people (everybody, a group, one person); CurrentGroup stays.
    CommandResult nodeClicked(const QString& nodeKey);

    // The record form's opening for the person in the list's row; sets CurrentGroup (the tree's
    // node) and CurrentContactId. Nothing and a notice when the person cannot be read.
    struct Opened {
        std::optional<ContactFields> fields;
        std::optional<Notice> notice;
    };
    Opened openContact(const QString& contactKey, const QString& nodeKey);
    // The record form's save: a new person (no key) or the person the form was opened on. A picture
    // chosen from elsewhere is copied into the photos folder first, and 照片 names the copy; a
    // picture the person no longer has leaves the folder once nobody has it (not even the history).
    CommandResult saveContact(const std::optional<QString>& contactKey, const ContactFields& fields);

    // The list's delete of the person in a row (after the user agreed); nodeKey: the tree's node.
    CommandResult deleteListRow(const QString& contactKey, const QString& rowName, const QString& nodeKey);
    // The list's delete of several people at once (after one question): one step of the history,
    // one transaction; the tree and the list are refreshed once. nodeKey: the tree's node.
    CommandResult deleteListRows(const QStringList& contactKeys, const QString& nodeKey);
    // 移动到分组 and a drop of people on a group: every one of them into the group as one step of
    // the history (one transaction, one change each for the sync); those already in it stay as
    // they are. The tree and the list are refreshed once, keeping the tree's node (nodeKey) and
    // open groups.
    CommandResult moveContacts(const QStringList& contactKeys, const QString& groupKey, const QString& nodeKey);
    // The delete command has chosen the tree's node to ask about (CurrentGroup, also when the user
    // then answers No).
    void nodeChosenForDelete(const QString& nodeKey) { CurrentGroup = nodeKey; }
    // The tree's delete of a group (with its people) or a person.
    CommandResult deleteNode(const QString& nodeKey);
    // An in-place rename in the list, bound to the person's key; nodeKey: the tree's node.
    CommandResult renameListRow(const QString& contactKey, const QString& name, const QString& nodeKey);
    // An in-place rename of a tree node (a group or a person), bound to its key.
    CommandResult renameNode(const QString& nodeKey, const QString& name);
    // A new group named as typed (cut to 30 characters); the tree keeps its node.
    CommandResult addGroup(const QString& typedName, const QString& nodeKey);

    // The search form's statement; an empty query is refused with a notice.
    CommandResult search(const Query& query);
    // The birthday reminder: the toolbar's entry, or the load step's (startup).
    CommandResult birthdayReminder(bool startup);
    // An import into the data file: everything in one transaction, then everybody listed.
    CommandResult importBatch(const ImportBatch& batch, const ImportOptions& options,
                              const std::function<bool(int, int)>& progress, ImportSummary* summary);
    // The same from a regular file, read a card (a row) at a time while it is written.
    CommandResult importFile(const QString& path, const ImportOptions& options,
                             const std::function<bool(int, int)>& progress, ImportSummary* summary);

    // The window's history. enableHistory (the load step, after the data file opened) keeps every
    // change of the commands above undoable for this run, many steps deep, and every deleted person
    // for 30 days (older ones are forgotten now).
    void enableHistory();
    bool canUndo() const { return history_ && !undoSteps_.empty(); }
    bool canRedo() const { return history_ && !redoSteps_.empty(); }
    // The last change undone (redone) in one transaction; the tree and the list as they were then,
    // with the same node and row selected.
    CommandResult undo();
    CommandResult redo();
    // The window has shown a command's result: the view it shows now is the one the command's redo
    // brings back.
    void commandShown() { settleStep(); }
    // The people deleted in the last 30 days, newest first, and some of them back (undoable too).
    std::vector<DeletedContact> recentlyDeleted();
    CommandResult restoreDeleted(const std::vector<qint64>& ids);

    // Groups of likely duplicates (see Duplicates.h), each with its people's keys. When the data
    // file cannot be read there are none, and failure (if given) says why: the window tells it
    // instead of "no duplicates found".
    std::vector<QStringList> duplicates(std::optional<Notice>* failure = nullptr);
    // One person made of several: keep (the lowest key) gets the merged fields, the others are
    // deleted (and so kept among the recently deleted); one step, undoable.
    CommandResult mergeContacts(const QString& keep, const ContactFields& merged, const QStringList& others);

    // After a change the window did not make: the tree rebuilt with nodeKey current again, and the
    // list refilled with what it shows.
    CommandResult refresh(const QString& nodeKey);

signals:
    void contactsAdded(const QStringList& keys);
    void contactsChanged(const QStringList& keys);
    void contactsRemoved(const QStringList& keys);
    void groupsAdded(const QStringList& keys);
    void groupsRenamed(const QStringList& keys);
    void groupsRemoved(const QStringList& keys);
    void everythingChanged();
    void historyChanged(); // canUndo or canRedo may have changed

private:
    struct Selection {
        QString group;
        QString contact;
        ListShows list;
        ShownView view;
    };
    struct Step {
        UndoLog::Range range;
        Selection before;
        Selection after;
    };
    Selection selection() const;
    // Runs a write of a command as one step of the history.
    template <typename Write> void recorded(Write&& write);
    // An import's run as one step, then everybody listed and the summary told.
    CommandResult imported(const std::function<void(Importer&)>& run, ImportSummary* summary);
    CommandResult replay(std::vector<Step>& from, std::vector<Step>& to, bool undoing);
    // The view a command left becomes its step's "after" once it is shown (or at the next step).
    void settleStep();
    ShownView viewNow() const;
    // The tree rebuilt and the list refilled as the view had them.
    CommandResult show(const ShownView& view);

    bool history_ = false;
    bool stepUnsettled_ = false;
    std::vector<Step> undoSteps_;
    std::vector<Step> redoSteps_;

    RowTable read(const std::function<void(RowTable&)>& fill);
    // The people of a node (everybody, a group, one person), now what the list lists.
    RowTable peopleOf(const QString& nodeKey);
    // The list after a save or delete for a node key (a group: its people, with CurrentContactId's
    // row selected and the list focused; a person: that person).
    void refillFor(const QString& key, CommandResult& result);
    // The search or the reminder the list shows, run again.
    void rerunQuery(CommandResult& result);
    // After a change of many people: the tree rebuilt with its node and open groups as they are, and
    // the list refilled with what it shows; one refresh of each, however many people changed.
    void refreshAfterMany(const QString& nodeKey, CommandResult& result);
    // The reminder's rows get their days left and ages, nearest first.
    void markReminder(CommandResult& result);
    std::optional<QString> groupOf(const QString& contactKey);
};

// The name the windows and tests have long used for the session.
using AppState = DirectorySession;
