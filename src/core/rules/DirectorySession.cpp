#include "core/rules/DirectorySession.h"

#include "core/exchange/Importer.h"
#include "core/rules/Duplicates.h"
#include "core/rules/NextBirthdays.h"
#include "core/store/DataFiles.h"
#include "core/store/SamePerson.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "core/text/Clock.h"
#include "core/text/Keys.h"

#include <QDebug>
#include <QTime>
#include <algorithm>
#include <climits>
#include <numeric>

namespace {

Notice warning(const QString& text) {
    return {Notice::Kind::Warning, text};
}

} // namespace

QString fitGroupName(const QString& name) {
    qsizetype units = 0;
    for (int characters = 0; characters < GroupNameMax && units < name.size(); ++characters) {
        const bool pair = name[units].isHighSurrogate() && units + 1 < name.size() && name[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return name.left(units);
}

Query reminderQuery(const QDate& today, int days) {
    return {QString::fromUtf8(sql::ReminderCondition), {storedDate(today), storedDate(today.addDays(days))},
            QString::fromUtf8(sql::ReminderOrder)};
}

QString reminderMessage(int days, int found, bool startup) {
    if (found == 0) {
        if (days == 0)
            return QStringLiteral("今天没有过生的好友！");
        if (!startup)
            return QStringLiteral("最近 %1 天内没有过生的好友！").arg(days);
        return {};
    }
    if (days == 0)
        return QStringLiteral("今天有 %1 位过生日的好友").arg(found);
    return QStringLiteral("最近 %1 天有 %2 位过生日的好友").arg(days).arg(found);
}

DirectorySession::Selection DirectorySession::selection() const {
    return {CurrentGroup, CurrentContactId, ListSource, viewNow()};
}

ShownView DirectorySession::viewNow() const {
    if (shownView)
        return shownView();
    ShownView view;
    view.node = CurrentGroup;
    view.list = Listed;
    view.picture = Listed.isQuery() ? 1 : 3;
    view.row = CurrentContactId;
    return view;
}

void DirectorySession::settleStep() {
    if (stepUnsettled_ && !undoSteps_.empty())
        undoSteps_.back().after = selection();
    stepUnsettled_ = false;
}

template <typename Write> void DirectorySession::recorded(Write&& write) {
    if (!history_) {
        write();
        return;
    }
    UndoLog& log = Conn->undoLog();
    settleStep();
    const Selection before = selection();
    Conn->recentlyDeleted().setNow(
        storedDate(env.clock->today()) + QTime::currentTime().toString(QStringLiteral(" HH:mm")));
    log.start();
    try {
        write();
    } catch (...) {
        log.stop();
        throw;
    }
    const UndoLog::Range range = log.stop();
    if (range.empty())
        return;
    // A new change ends what could be redone.
    for (const Step& step : redoSteps_)
        log.forget(step.range);
    redoSteps_.clear();
    undoSteps_.push_back({range, before, selection()});
    // What the command then shows is known once the window has shown it.
    stepUnsettled_ = true;
    emit historyChanged();
}

void DirectorySession::enableHistory() {
    try {
        Conn->enableHistory();
        history_ = !Conn->isReadOnly();
        if (history_)
            Conn->recentlyDeleted().purgeBefore(env.clock->today().addDays(-RecentlyDeleted::KeepDays));
    } catch (const StoreError& e) {
        // Without its history the window still works; the user loses only undo.
        qWarning() << "no undo for this data file:" << e.message();
        history_ = false;
    }
}

CommandResult DirectorySession::undo() {
    return replay(undoSteps_, redoSteps_, true);
}

CommandResult DirectorySession::redo() {
    return replay(redoSteps_, undoSteps_, false);
}

CommandResult DirectorySession::replay(std::vector<Step>& from, std::vector<Step>& to, bool undoing) {
    CommandResult result;
    if (!history_ || from.empty())
        return result;
    settleStep();
    Step step = from.back();
    try {
        step.range = Conn->undoLog().replay(step.range);
    } catch (const StoreError& e) {
        // The file changed meanwhile in a way the step cannot undo (another program wrote it): the
        // step is dropped, nothing was written.
        from.pop_back();
        emit historyChanged();
        result.ok = false;
        result.notice = warning((undoing ? QStringLiteral("不能撤销: ") : QStringLiteral("不能重做: ")) + e.message());
        return result;
    }
    from.pop_back();
    to.push_back(step);
    emit everythingChanged();
    emit historyChanged();
    // The tree and the list as they were before the change (after it, for a redo), with the same
    // node and row selected.
    const Selection& shown = undoing ? step.before : step.after;
    CurrentGroup = shown.group;
    CurrentContactId = shown.contact;
    ListSource = shown.list;
    return show(shown.view);
}

CommandResult DirectorySession::show(const ShownView& view) {
    CommandResult result;
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("不能读取分组: ");
    result.currentNode = view.node;
    result.expandNodes = view.expanded;
    if (view.list.isQuery()) {
        Listed = view.list;
        result.rows = read([&](RowTable& r) { Conn->listQuery(*Listed.query, r); });
        markReminder(result);
    } else {
        result.rows = peopleOf(view.list.nodeKey.isEmpty() ? view.node : view.list.nodeKey);
    }
    result.picture = view.picture;
    result.selectRow = view.row;
    return result;
}

std::vector<DeletedContact> DirectorySession::recentlyDeleted() {
    try {
        return Conn->recentlyDeleted().list();
    } catch (const StoreError&) {
        return {};
    }
}

CommandResult DirectorySession::restoreDeleted(const std::vector<qint64>& ids) {
    CommandResult result;
    QStringList restored;
    try {
        recorded([&] {
            Transaction transaction = Conn->transaction();
            for (const qint64 id : ids) {
                const QString key = Conn->restoreDeleted(id);
                if (!key.isEmpty())
                    restored << key;
            }
            transaction.commit();
        });
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("没有恢复。\n") + e.message());
        return result;
    }
    if (restored.isEmpty())
        return result;
    emit contactsAdded(restored);
    CurrentContactId = restored.first();
    // The tree and the list show what they showed, with the first person back selected when listed.
    ShownView view = viewNow();
    view.row = CurrentContactId;
    return show(view);
}

std::vector<QStringList> DirectorySession::duplicates(std::optional<Notice>* failure) {
    try {
        DuplicateFinder finder(static_cast<size_t>(std::max(0, Conn->contactCount())));
        Conn->forEachDuplicateCandidate(
            [&](std::string_view key, std::string_view name, std::string_view mobile, std::string_view email) {
                finder.add(key, nameKeyOf(name), mobileKeyOf(mobile), emailKeyOf(email));
            });
        return finder.groups();
    } catch (const StoreError& e) {
        if (failure)
            *failure = warning(QStringLiteral("不能查找重复的联系人: ") + e.message());
        return {};
    }
}

CommandResult DirectorySession::mergeContacts(const QString& keep, const ContactFields& merged,
                                              const QStringList& others) {
    CommandResult result;
    try {
        recorded([&] {
            Transaction transaction = Conn->transaction();
            // Nothing of the people merged is lost: what nobody chose stays beside the chosen values.
            std::vector<ContactFields> people;
            for (const QString& key : QStringList{keep} + others) {
                if (std::optional<ContactFields> person = Conn->loadContact(key))
                    people.push_back(std::move(*person));
            }
            Conn->updateContact(keep, keepingEveryValue(merged, people));
            for (const QString& other : others) {
                if (other != keep)
                    Conn->deleteContact(other);
            }
            transaction.commit();
        });
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("没有合并。\n") + e.message());
        return result;
    }
    emit contactsChanged({keep});
    emit contactsRemoved(others);
    CurrentContactId = keep;
    ShownView view = viewNow();
    view.row = keep;
    return show(view);
}

RowTable DirectorySession::read(const std::function<void(RowTable&)>& fill) {
    // Like every fill, a read that fails leaves the list empty without a message.
    RowTable rows;
    try {
        fill(rows);
    } catch (const StoreError& e) {
        qDebug() << "list fill:" << e.message();
        rows.clear();
    }
    return rows;
}

std::optional<QString> DirectorySession::groupOf(const QString& contactKey) {
    const std::optional<ContactFields> stored = Conn->loadContact(contactKey);
    if (!stored)
        return std::nullopt;
    return stored->groupKey;
}

RowTable DirectorySession::peopleOf(const QString& nodeKey) {
    Listed = ListShows::node(nodeKey);
    switch (keys::kindOf(nodeKey)) {
    case keys::Kind::Root:
        return read([&](RowTable& r) { Conn->listAll(r); });
    case keys::Kind::Group:
        return read([&](RowTable& r) { Conn->listByGroup(nodeKey, r); });
    case keys::Kind::Contact:
        break;
    }
    return read([&](RowTable& r) { Conn->listByKey(nodeKey, r); });
}

void DirectorySession::refillFor(const QString& key, CommandResult& result) {
    result.rows = peopleOf(key);
    if (keys::isGroup(key)) {
        result.selectRow = CurrentContactId;
        result.focusList = true;
    }
}

CommandResult DirectorySession::start() {
    CommandResult result;
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("不能读取分组: ");
    if (RemindAtStart != 1) {
        result.rows = peopleOf(keys::Root);
        return result;
    }
    // The start-up reminder replaces the list of everybody whenever it finds somebody, so that list
    // is read only when the reminder finds nobody: what the user sees is the same, at a fraction
    // of the cost for a large directory.
    StartupRemind = true;
    CommandResult reminder = birthdayReminder(true);
    StartupRemind = false;
    result.rows = std::move(reminder.rows);
    result.reminder = std::move(reminder.reminder);
    result.notice = reminder.notice;
    if (!result.rows)
        result.rows = peopleOf(keys::Root);
    return result;
}

CommandResult DirectorySession::nodeClicked(const QString& nodeKey) {
    CommandResult result;
    ListSource = ListShows::node();
    result.rows = peopleOf(nodeKey);
    return result;
}

DirectorySession::Opened DirectorySession::openContact(const QString& contactKey, const QString& nodeKey) {
    CurrentGroup = nodeKey;
    CurrentContactId = contactKey;
    try {
        return {Conn->loadContact(contactKey), std::nullopt};
    } catch (const StoreError& e) {
        // A form of empty boxes would blank the person at the next save.
        return {std::nullopt, warning(QStringLiteral("不能读取此人的资料: ") + e.message())};
    }
}

CommandResult DirectorySession::saveContact(const std::optional<QString>& contactKey, const ContactFields& typed) {
    CommandResult result;
    ContactFields fields = typed;
    QString oldPhoto;
    try {
        if (contactKey) {
            if (const std::optional<ContactFields> before = Conn->loadContact(*contactKey))
                oldPhoto = before->photo;
        }
        // A picture newly chosen from anywhere but the photos folder is kept there: the original
        // may move or vanish. One that cannot be kept is said before anything is written.
        if (!fields.photo.trimmed().isEmpty() && fields.photo != oldPhoto &&
            !photofolder::isInFolder(fields.photo, Conn->filePath())) {
            QString error;
            const QString kept = photofolder::keepChosen(fields.photo, Conn->filePath(), shrinkPicture, &error);
            if (kept.isEmpty()) {
                result.ok = false;
                result.notice = warning(QStringLiteral("资料没有保存: ") + error);
                return result;
            }
            fields.photo = kept;
        }
        if (!contactKey) {
            QString key;
            recorded([&] { key = Conn->addContact(fields); });
            CurrentContactId = key;
            CurrentGroup = key;
            emit contactsAdded({key});
        } else {
            CurrentContactId = *contactKey;
            recorded([&] { Conn->updateContact(*contactKey, fields); });
            emit contactsChanged({*contactKey});
        }
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("资料没有保存: ") + e.message());
        return result;
    }
    if (!oldPhoto.isEmpty() && oldPhoto != fields.photo) {
        try {
            photofolder::releaseUnused(*Conn, Conn->filePath(), {oldPhoto});
        } catch (const StoreError&) {
            // The picture stays; the next start's tidy-up looks at it again.
        }
    }
    // The tree is rebuilt with the node that was current (after an add, the new person's node).
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("资料已经保存,但不能刷新显示: ");
    result.selectNode = CurrentGroup;
    if (ListSource.isQuery()) {
        // A search or the reminder is run again, on freshly computed next birthdays.
        try {
            ComputeNextBirthdays(*Conn, env.clock->today(), RemindDays);
        } catch (const StoreError& e) {
            result.notice = warning(result.treeFailure + e.message());
        }
        rerunQuery(result);
    } else if (CurrentGroup == keys::Root) {
        result.rows = peopleOf(keys::Root);
    } else {
        // After a new person, the list shows the person's group with the new row selected.
        if (!contactKey && keys::kindOf(CurrentGroup) == keys::Kind::Contact)
            CurrentGroup = fields.groupKey;
        refillFor(CurrentGroup, result);
    }
    return result;
}

CommandResult DirectorySession::deleteListRow(const QString& contactKey, const QString& rowName,
                                              const QString& nodeKey) {
    CommandResult result;
    // The node whose people the list shows afterwards; when the tree showed the person itself,
    // that is the person's group, listed again instead of left empty.
    QString shown = CurrentGroup;
    bool RefillAfterDelete = false;
    try {
        if (!ListSource.isQuery()) {
            shown = nodeKey;
            if (keys::kindOf(shown) == keys::Kind::Contact) {
                shown = groupOf(shown).value_or(shown);
                RefillAfterDelete = true;
            }
        }
        recorded([&] { Conn->deleteContact(contactKey); });
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("不能删除 '%1': %2").arg(rowName, e.message()));
        return result;
    }
    emit contactsRemoved({contactKey});
    CurrentGroup = shown;
    result.removeNode = contactKey;
    if (RefillAfterDelete) {
        result.currentNode = shown; // the tree shows what the list shows
        refillFor(shown, result);
    } else {
        result.removeRow = contactKey;
    }
    return result;
}

CommandResult DirectorySession::deleteListRows(const QStringList& contactKeys, const QString& nodeKey) {
    CommandResult result;
    if (contactKeys.isEmpty())
        return result;
    try {
        recorded([&] {
            Transaction transaction = Conn->transaction();
            for (const QString& key : contactKeys)
                Conn->deleteContact(key);
            transaction.commit();
        });
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("没有删除。\n") + e.message());
        return result;
    }
    emit contactsRemoved(contactKeys);
    refreshAfterMany(nodeKey, result);
    return result;
}

CommandResult DirectorySession::moveContacts(const QStringList& contactKeys, const QString& groupKey,
                                             const QString& nodeKey) {
    CommandResult result;
    if (contactKeys.isEmpty() || !keys::isGroup(groupKey))
        return result;
    QStringList moved;
    try {
        recorded([&] { moved = Conn->moveContacts(contactKeys, groupKey); });
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("没有移动。\n") + e.message());
        return result;
    }
    if (moved.isEmpty())
        return result; // all of them there already, or the group is gone: nothing changed
    emit contactsChanged(moved);
    CurrentContactId = moved.front();
    refreshAfterMany(nodeKey, result);
    result.selectRow = CurrentContactId;
    return result;
}

void DirectorySession::refreshAfterMany(const QString& nodeKey, CommandResult& result) {
    const ShownView view = viewNow();
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("不能读取分组: ");
    result.currentNode = view.node;
    result.expandNodes = view.expanded;
    if (Listed.isQuery())
        rerunQuery(result);
    else
        result.rows = peopleOf(Listed.nodeKey.isEmpty() ? nodeKey : Listed.nodeKey);
}

CommandResult DirectorySession::deleteNode(const QString& nodeKey) {
    CommandResult result;
    CurrentGroup = nodeKey;
    const QString failure = QStringLiteral("没有删除。\n");
    try {
        switch (keys::kindOf(nodeKey)) {
        case keys::Kind::Root:
            return result; // everybody cannot be deleted
        case keys::Kind::Group:
            // The group row and its people go in one transaction: nobody is left in a group that is gone.
            recorded([&] { Conn->deleteGroup(nodeKey); });
            emit groupsRemoved({nodeKey});
            result.rebuildTree = true;
            result.treeFailure = failure;
            result.rows = peopleOf(keys::Root);
            return result;
        case keys::Kind::Contact: {
            // The person's group is read before the person goes.
            const QString group = groupOf(nodeKey).value_or(keys::Root);
            recorded([&] { Conn->deleteContact(nodeKey); });
            emit contactsRemoved({nodeKey});
            CurrentGroup = group;
            result.rebuildTree = true;
            result.treeFailure = failure;
            result.selectNode = group;
            refillFor(group, result);
            return result;
        }
        }
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(failure + e.message());
    }
    return result;
}

CommandResult DirectorySession::renameListRow(const QString& contactKey, const QString& name, const QString& nodeKey) {
    CommandResult result;
    // The edit belongs to the person it was opened on, wherever that person's row is now; a person
    // deleted meanwhile is renamed nowhere.
    if (contactKey.isEmpty())
        return result;
    try {
        bool renamed = false;
        recorded([&] { renamed = Conn->renameContact(contactKey, name); });
        if (!renamed)
            return result;
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("不能修改姓名: ") + e.message());
        return result;
    }
    emit contactsChanged({contactKey});
    CurrentGroup = nodeKey;
    result.renameRow = contactKey;
    result.rowName = name;
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("姓名已经保存,但不能刷新分组: ");
    result.selectNode = CurrentGroup;
    return result;
}

CommandResult DirectorySession::renameNode(const QString& nodeKey, const QString& name) {
    CommandResult result;
    // An emptied label is taken as a cancelled edit: the stored name stays.
    const keys::Kind kind = keys::kindOf(nodeKey);
    if (name.isEmpty() || kind == keys::Kind::Root)
        return result;
    const QString stored = kind == keys::Kind::Group ? fitGroupName(name) : name;
    try {
        bool renamed = false;
        recorded([&] {
            renamed =
                kind == keys::Kind::Group ? Conn->renameGroup(nodeKey, stored) : Conn->renameContact(nodeKey, stored);
        });
        if (!renamed)
            return result; // the node's group or person is gone
    } catch (const StoreError& e) {
        // The node still shows the stored name: it is changed only after a successful write.
        result.ok = false;
        result.notice = warning(QStringLiteral("新名称没有保存,仍用原来的名称。\n") + e.message());
        return result;
    }
    if (kind == keys::Kind::Group)
        emit groupsRenamed({nodeKey});
    else
        emit contactsChanged({nodeKey});
    result.labelKey = nodeKey;
    result.label = stored;
    if (kind == keys::Kind::Contact)
        result.rows = peopleOf(nodeKey);
    return result;
}

CommandResult DirectorySession::addGroup(const QString& typedName, const QString& nodeKey) {
    CommandResult result;
    if (typedName.isEmpty())
        return result;
    NewGroupName = fitGroupName(typedName);
    CurrentGroup = nodeKey;
    try {
        QString key;
        recorded([&] { key = Conn->addGroup(NewGroupName); });
        emit groupsAdded({key});
    } catch (const StoreError& e) {
        result.ok = false;
        result.notice = warning(QStringLiteral("分组没有添加。\n") + e.message());
        return result;
    }
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("分组没有添加。\n");
    result.selectNode = CurrentGroup;
    return result;
}

CommandResult DirectorySession::search(const Query& query) {
    CommandResult result;
    if (query.isEmpty()) {
        // What the list shows stays, so a later save refreshes it correctly.
        result.ok = false;
        result.notice = Notice{Notice::Kind::Plain, QStringLiteral("你没有输入查询条件!")};
        return result;
    }
    ListSource = ListShows::result(query);
    RowTable rows = read([&](RowTable& r) { Conn->listQuery(query, r); }); // a search that cannot run finds nobody
    if (rows.rowCount() == 0) {
        result.notice = Notice{Notice::Kind::Plain, QStringLiteral("按您的条件没有查到数据！")};
        return result;
    }
    result.rows = std::move(rows);
    Listed = ListSource;
    return result;
}

CommandResult DirectorySession::birthdayReminder(bool startup) {
    CommandResult result;
    result.selectRootNode = !startup;
    const Query query = reminderQuery(env.clock->today(), RemindDays);
    ListSource = ListShows::result(query);
    RowTable rows;
    try {
        ComputeNextBirthdays(*Conn, env.clock->today(), RemindDays);
        Conn->listQuery(query, rows);
    } catch (const StoreError& e) {
        result.notice = warning(QStringLiteral("生日提醒失败: ") + e.message());
        return result;
    }
    const int found = rows.rowCount();
    if (found > 0) {
        result.rows = std::move(rows); // with nobody found, the list keeps what it showed
        Listed = ListSource;
        markReminder(result);
    }
    const QString text = reminderMessage(RemindDays, found, startup);
    if (!text.isEmpty())
        result.notice = Notice{found > 0 ? Notice::Kind::Info : Notice::Kind::Plain, text};
    return result;
}

CommandResult DirectorySession::importBatch(const ImportBatch& batch, const ImportOptions& options,
                                            const std::function<bool(int, int)>& progress, ImportSummary* summary) {
    return imported([&](Importer& importer) { *summary = importer.run(batch, options, progress); }, summary);
}

CommandResult DirectorySession::importFile(const QString& path, const ImportOptions& options,
                                           const std::function<bool(int, int)>& progress, ImportSummary* summary) {
    return imported([&](Importer& importer) { *summary = importer.runFile(path, options, progress); }, summary);
}

CommandResult DirectorySession::imported(const std::function<void(Importer&)>& run, ImportSummary* summary) {
    CommandResult result;
    Importer importer(*Conn, DataPaths::in(env.programDir).data);
    recorded([&] { run(importer); });
    // The tree and the list are refreshed once, to show everybody with what came in.
    if (summary->imported() > 0) {
        emit everythingChanged();
        result.rebuildTree = true;
        result.treeFailure = QStringLiteral("不能读取分组: ");
        result.selectRootNode = true;
        ListSource = ListShows::node();
        result.rows = peopleOf(keys::Root);
    }
    result.notice = Notice{summary->complete() ? Notice::Kind::Info : Notice::Kind::Warning, summary->text()};
    return result;
}

CommandResult DirectorySession::refresh(const QString& nodeKey) {
    CommandResult result;
    result.rebuildTree = true;
    result.treeFailure = QStringLiteral("不能读取分组: ");
    result.selectNode = nodeKey;
    if (ListSource.isQuery())
        rerunQuery(result);
    else
        result.rows = peopleOf(nodeKey);
    return result;
}

void DirectorySession::rerunQuery(CommandResult& result) {
    Listed = ListSource;
    result.rows = read([&](RowTable& r) { Conn->listQuery(*ListSource.query, r); });
    result.picture = 1;
    markReminder(result);
}

void DirectorySession::markReminder(CommandResult& result) {
    if (!result.rows || !Listed.query || Listed.query->where != QString::fromUtf8(sql::ReminderCondition))
        return;
    try {
        result.reminder = reminderMarks(*Conn, *result.rows, env.clock->today());
    } catch (const StoreError& e) {
        qDebug() << "reminder marks:" << e.message(); // the rows are shown without their countdown
        return;
    }
    // nowbirthday holds today for a birthday early next year already inside the window: the true
    // days left put it after today's own birthdays.
    RowTable& rows = *result.rows;
    std::vector<int> order(static_cast<size_t>(rows.rowCount()));
    std::iota(order.begin(), order.end(), 0);
    const auto daysLeft = [&](int row) {
        const auto found = result.reminder->find(std::string(rows.text(row, RowTable::KeyColumn)));
        return found == result.reminder->end() ? INT_MAX : found->second.daysLeft;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return daysLeft(a) < daysLeft(b); });
    rows.reorder(order);
}
