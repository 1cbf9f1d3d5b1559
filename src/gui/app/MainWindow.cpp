#include "gui/app/MainWindow.h"

#include "core/app/Messages.h"
#include "core/app/CloseBackup.h"
#include "core/app/Settings.h"
#include "core/exchange/PhotoFolder.h"
#include "core/app/Twips.h"
#include "core/rules/ListCaption.h"
#include "core/store/FileStamp.h"
#include "core/store/Store.h"
#include "gui/app/Commands.h"
#include "gui/app/KeyFiller.h"
#include "gui/app/OutputCommands.h"
#include "gui/app/Shortcuts.h"
#include "gui/app/Views.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/list/ListLayout.h"
#include "gui/list/ListFilterBar.h"
#include "gui/shared/FocusReturn.h"
#include "gui/shared/KeyTips.h"
#include "gui/shared/PhotoFile.h"
#include "gui/shared/Pictures.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"
#include "gui/sync/SyncController.h"
#include "core/text/Keys.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// The window's frame in twips when the window system has not told us yet: the design's outer size
// (10695 x 6840) less its client area (10575 x 6345).
constexpr double DesignFrameWidth = setting::WidthDefault - layout::ClientWidth;
constexpr double DesignFrameHeight = setting::HeightDefault - layout::ClientHeight;
} // namespace

Frm_main::Frm_main(AppState& state, const DataPaths& paths, QWidget* parent)
    : QWidget(parent), state_(state), paths_(paths), frame_(new QFrame(this)), splitter_(new QSplitter(frame_)),
      tree_(new NodeTreeView(splitter_)), list_(new ReportView(frame_)), toolbar_(new QToolBar(this)),
      treeModel_(new GroupTreeModel(this)), listModel_(new ContactListModel(this)),
      view_{state, this, tree_, treeModel_, list_, listModel_, this}, filterBar_(new ListFilterBar(list_, listModel_, [this] { return state_.Conn.get(); })) {
    setObjectName(QStringLiteral("Frm_main"));
    setWindowTitle(QStringLiteral("zinteva"));
    setWindowIcon(pictures::application());
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setFrameShape(QFrame::StyledPanel);
    // The tree starts at its designed width; the user may drag it wider (a long group name) and the
    // width is kept for the next start. The list takes what the window gains.
    splitter_->setObjectName(QStringLiteral("TreeListSplitter"));
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(twips::toPixels(layout::ListLeft) - twips::toPixels(layout::TreeLeft) -
                              twips::toPixels(layout::TreeWidth));
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    pendingTreeWidth_ = twips::toPixels(layout::TreeWidth);
    frameMargins_ = QMargins(0, 0, twips::toPixels(DesignFrameWidth), twips::toPixels(DesignFrameHeight));
    // The list with its filter line under it, as the splitter's second pane.
    listPane_ = new QWidget(splitter_);
    listPane_->setObjectName(QStringLiteral("ListPane"));
    auto* listLayout = new QVBoxLayout(listPane_);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(2);
    caption_ = new QLabel(listPane_);
    caption_->setObjectName(QStringLiteral("ListCaption"));
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    listLayout->addWidget(caption_);
    // The list, and beside it the selected person's card when the user switched it on. (A layout,
    // not a splitter: the list's size is known before the window is first shown.)
    listRow_ = new QHBoxLayout;
    listRow_->setSpacing(4);
    listRow_->addWidget(list_, 1);
    listLayout->addLayout(listRow_, 1);
    listLayout->addWidget(filterBar_);
    // Every change of the rows (a fill, the filter line, a delete) says again what they are.
    connect(listModel_, &QAbstractItemModel::modelReset, this, &Frm_main::updateCaption);
    connect(listModel_, &QAbstractItemModel::rowsRemoved, this, &Frm_main::updateCaption);
    connect(listModel_, &QAbstractItemModel::rowsInserted, this, &Frm_main::updateCaption);
    tree_->setObjectName(QStringLiteral("TV"));
    tree_->setAccessibleName(QStringLiteral("分组"));
    tree_->setModel(treeModel_);
    list_->setObjectName(QStringLiteral("LV"));
    list_->setAccessibleName(QStringLiteral("联系人列表"));
    list_->header()->setAccessibleName(QStringLiteral("列标题"));
    list_->setModel(listModel_);
    for (int column = 0; column < listcolumns::Count; ++column)
        list_->header()->resizeSection(column, listcolumns::initialWidth(column, *list_));
    listlayout::enableColumnMenu(list_);
    tree_->installEventFilter(this);
    list_->installEventFilter(this);
    buildToolbar();
    addHistoryActions();
    // 打印... (Ctrl+P) anywhere in the window, and in the list's right-click menu.
    QAction* print = addAction(QStringLiteral("打印..."), QKeySequence::Print, this, [this] { printContactList(view_); });
    print->setObjectName(QStringLiteral("print"));
    print->setShortcutVisibleInContextMenu(true);
    actions_[QStringLiteral("print")] = print;

    connect(tree_, &NodeTreeView::nodeClicked, this, [this](const QModelIndex& node) { TV_NodeClick(view_, node); });
    // The commands users reach by keyboard in every desktop program.
    connect(list_, &ReportView::typed, filterBar_, &ListFilterBar::open);
    setAcceptDrops(true); // .vcf and .csv files dropped on the window are imported
    // Right-click menus: the commands that apply to a node or a row, with their keys.
    auto menuEntry = [this](QMenu& menu, const QString& text, const QKeySequence& keys, auto act) {
        QAction* entry = menu.addAction(text, this, act);
        entry->setShortcut(keys);
        entry->setShortcutVisibleInContextMenu(true);
        return entry;
    };
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QWidget::customContextMenuRequested, this, [this, menuEntry](const QPoint& at) {
        const QModelIndex node = tree_->indexAt(at);
        QMenu menu(this);
        menuEntry(menu, QStringLiteral("新建联系人"), shortcuts::of(QStringLiteral("addbutt")),
                  [this] { Toolbar1_ButtonClick(QStringLiteral("addbutt")); });
        menuEntry(menu, QStringLiteral("新建分组..."), shortcuts::of(QStringLiteral("addgroup")),
                  [this] { Toolbar1_ButtonMenuClick(QStringLiteral("addgroup")); });
        menu.addSeparator();
        QAction* rename = menuEntry(menu, QStringLiteral("重命名"), QKeySequence(Qt::Key_F2),
                                    [this, node] { tree_->edit(node); });
        rename->setEnabled(node.isValid() && node != treeModel_->rootIndex());
        QAction* remove = menuEntry(menu, QStringLiteral("删除..."), QKeySequence(Qt::Key_Delete), [this] {
            Tvfocus = true;
            Lvfocus = false;
            Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        });
        remove->setEnabled(node.isValid());
        addHistoryEntries(menu);
        const FocusReturn focus;
        menu.exec(tree_->viewport()->mapToGlobal(at));
    });
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        fillListMenu(menu, list_->indexAt(at));
        const FocusReturn focus;
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    // People dropped on a group move there once the drop has ended (the tree is rebuilt then).
    connect(treeModel_, &GroupTreeModel::peopleDropped, this,
            [this](const QStringList& people, const QString& group) { moveContactsTo(people, group); },
            Qt::QueuedConnection);
    auto* filter = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(filter, &QShortcut::activated, filterBar_, [this] { filterBar_->open(); });
    // Every button and drop-down entry has its keys (Ctrl+N, Ctrl+F, ...); a hidden entry's keys do
    // nothing, as the entry cannot be chosen.
    for (const auto& [key, action] : actions_) {
        if (const QKeySequence keys = shortcuts::of(key); !keys.isEmpty()) {
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WindowShortcut);
            if (!toolbar_->actions().contains(action))
                addAction(action); // a drop-down entry: its keys work while its menu is closed (and shows them)
            else if (QWidget* face = toolbar_->widgetForAction(action))
                keytips::add(face, keys);
        }
    }
    // The delete button is the Delete key in the tree and the list.
    keytips::add(toolbar_->widgetForAction(action(QStringLiteral("delebutt"))), QKeySequence(Qt::Key_Delete));
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { sortContactList(view_, column); });

    // Group maintenance: a label edited in place in the tree is stored first, then shown.
    connect(treeModel_, &GroupTreeModel::labelEdited, this,
            [this](const QString& key, const QString& text) { TV_AfterLabelEdit(view_, key, text); });
    // Every refill of either view first ends an editor open in it, without writing: the editor
    // belongs to the row or node it was opened on, never to whichever takes that place.
    connect(treeModel_, &GroupTreeModel::nodesAboutToChange, tree_, &NodeTreeView::cancelEdit);
    connect(listModel_, &ContactListModel::rowsAboutToChange, list_, &ReportView::cancelEdit);

    // The list's operations on one person: a double click or Enter opens it in the record form;
    // a name edited in place is stored once the editor has closed, so that a message about a
    // refused write cannot make the editor commit a second time.
    connect(list_, &QAbstractItemView::doubleClicked, this, [this] { Lv_edit(); });
    connect(list_, &ReportView::rowEntered, this, [this] { Lv_edit(); });
    connect(
        listModel_, &ContactListModel::nameEdited, this,
        [this](const QString& key, const QString& text) { LV_AfterLabelEdit(view_, key, text); }, Qt::QueuedConnection);

    // What another part of the program changes reaches the window through the session's notices.
    for (auto notice :
         {&DirectorySession::contactsAdded, &DirectorySession::contactsChanged, &DirectorySession::contactsRemoved,
          &DirectorySession::groupsAdded, &DirectorySession::groupsRenamed, &DirectorySession::groupsRemoved})
        connect(&state_, notice, this, &Frm_main::changedElsewhere);
    connect(&state_, &DirectorySession::everythingChanged, this, &Frm_main::changedElsewhere);
    addDetailPane();
    // A picture chosen in the record form is kept in the photos folder at a few megapixels at most.
    state_.shrinkPicture = [](const photofolder::Picture& picture) {
        return photofile::shrunk(picture, photofolder::ChosenPixelLimit);
    };
    // The history keeps what the window shows before and after each change.
    state_.shownView = [this] { return shownNow(); };

    resize(twips::toPixels(layout::ClientWidth), twips::toPixels(layout::ClientHeight));
    Form_Resize();
}

void Frm_main::changedElsewhere() {
    if (ownCommand_ || refreshPending_ || !state_.Conn)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        if (state_.Conn)
            apply(state_.refresh(selectedNodeKey(tree_, treeModel_)));
    });
}

namespace {
Message messageOf(const Notice& notice) {
    switch (notice.kind) {
    case Notice::Kind::Info:
        return msg::info(notice.text);
    case Notice::Kind::Warning:
        return msg::warning(notice.text);
    case Notice::Kind::Plain:
        break;
    }
    return msg::plain(notice.text);
}
} // namespace

void Frm_main::apply(CommandResult result, QWidget* messageParent) {
    Dialogs& dialogs = *state_.env.dialogs;
    QWidget* over = messageParent ? messageParent : this;
    if (result.rebuildTree) {
        try {
            // A list of everybody read for the same change feeds the tree too: one read, not two.
            LoadGroupTree(tree_, treeModel_, *state_.Conn, result.rows ? &*result.rows : nullptr);
            SelectCurrentNode(tree_, treeModel_, result.selectNode);
        } catch (const StoreError& e) {
            dialogs.show(over, msg::warning(result.treeFailure + e.message()));
        }
    }
    if (result.expandNodes) {
        tree_->collapseAll();
        for (const QString& key : *result.expandNodes)
            tree_->expand(treeModel_->indexForKey(key));
    }
    if (!result.removeNode.isEmpty())
        treeModel_->removeContact(result.removeNode);
    if (result.selectRootNode)
        tree_->setCurrentIndex(treeModel_->rootIndex());
    if (!result.currentNode.isEmpty())
        tree_->setCurrentIndex(treeModel_->indexForKey(result.currentNode));
    if (!result.labelKey.isEmpty())
        treeModel_->setLabel(treeModel_->indexForKey(result.labelKey), result.label);
    if (result.rows)
        showRows(list_, listModel_, *state_.Conn, std::move(*result.rows), result.picture, std::move(result.reminder));
    if (!result.removeRow.isEmpty())
        listModel_->removeContactRow(listModel_->rowOfKey(result.removeRow));
    if (!result.renameRow.isEmpty())
        listModel_->setName(listModel_->rowOfKey(result.renameRow), result.rowName);
    if (!result.selectRow.isEmpty())
        selectRowOfKey(list_, listModel_, result.selectRow);
    if (result.focusList)
        list_->setFocus();
    updateCaption();
    state_.commandShown();
    if (result.notice)
        dialogs.show(over, messageOf(*result.notice));
}

void Frm_main::updateCaption() {
    const ListShows& listed = state_.Listed;
    QString nodeName;
    if (!listed.isQuery()) {
        const QModelIndex node =
            listed.nodeKey.isEmpty() ? tree_->currentIndex() : treeModel_->indexForKey(listed.nodeKey);
        nodeName = node.isValid() ? node.data(Qt::DisplayRole).toString() : QStringLiteral("所有人");
    } else if (tree_->editing()) {
        // A rename in the tree is stored while its editor is still open: once it has closed.
        QTimer::singleShot(0, this, &Frm_main::updateCaption);
    } else if (tree_->currentIndex().isValid() || tree_->selectionModel()->hasSelection()) {
        // A search's or the reminder's rows belong to no node: the tree has none current, so that
        // it never names other people than the list does, and a command on "the tree's node"
        // (delete, a new group) finds none instead of one the user no longer sees selected.
        tree_->setCurrentIndex(QModelIndex());
        tree_->selectionModel()->clearSelection();
    }
    const RowTable& rows = listModel_->rows();
    caption_->setText(::listCaption(listed, nodeName, rows.fillRowCount(), listModel_->rowCount()));
}

ShownView Frm_main::shownNow() const {
    ShownView view;
    if (const QModelIndex node = tree_->currentIndex(); node.isValid())
        view.node = treeModel_->keyOf(node);
    // People have no nodes under them: the top node and the groups are all that can be expanded.
    QStringList expanded;
    const QModelIndex top = treeModel_->rootIndex();
    if (top.isValid() && tree_->isExpanded(top))
        expanded << treeModel_->keyOf(top);
    for (int row = 0; top.isValid() && row < treeModel_->rowCount(top); ++row) {
        const QModelIndex group = treeModel_->index(row, 0, top);
        if (tree_->isExpanded(group))
            expanded << treeModel_->keyOf(group);
    }
    view.expanded = std::move(expanded);
    view.list = state_.Listed;
    view.picture = listModel_->picture();
    if (const int row = selectedRow(list_); row >= 0)
        view.row = listModel_->keyAt(row);
    return view;
}

void Frm_main::Lv_edit() {
    const int row = selectedRow(list_);
    if (row < 0)
        return;
    const QString key = listModel_->keyAt(row);
    DirectorySession::Opened opened = state_.openContact(key, selectedNodeKey(tree_, treeModel_));
    if (opened.notice) {
        CommandResult told;
        told.notice = opened.notice;
        apply(std::move(told));
        return;
    }
    openRecordForm(key, opened.fields, true);
}

void Frm_main::openRecordForm(const std::optional<QString>& key, const std::optional<ContactFields>& fields,
                              bool modal) {
    if (!key)
        state_.EditFlag = true;
    // A form of its own even when a form for a new person is open: neither loses what was typed.
    if (modal) {
        frm_detail form(*this, key ? frm_detail::Mode::Update : frm_detail::Mode::Add);
        if (fields)
            form.showContact(*fields);
        state_.env.dialogs->openForm(form);
        return;
    }
    auto* form = new frm_detail(*this, key ? frm_detail::Mode::Update : frm_detail::Mode::Add);
    form->setAttribute(Qt::WA_DeleteOnClose);
    // A form beside the window is no modal box: its closing gives the keyboard back here itself.
    connect(form, &QDialog::finished, this,
            [focused = QPointer<QWidget>(FocusReturn::focusNow())] { FocusReturn::giveBack(focused); });
    if (fields)
        form->showContact(*fields);
    adoptModeless(form);
    form->show();
}

Dialogs& Frm_main::formDialogs() {
    return *state_.env.dialogs;
}

std::vector<GroupRow> Frm_main::formGroups(QWidget* form) {
    try {
        return state_.Conn->groups();
    } catch (const StoreError& e) {
        state_.env.dialogs->show(form, msg::warning(QStringLiteral("不能读取分组: ") + e.message()));
        return {};
    }
}

QString Frm_main::formContactKey() {
    return state_.CurrentContactId;
}

bool Frm_main::saveFromForm(QWidget* form, const std::optional<QString>& key, const ContactFields& fields) {
    CommandResult result = run([&] { return state_.saveContact(key, fields); });
    const bool saved = result.ok;
    apply(std::move(result), form);
    return saved;
}

std::vector<KeptProperty> Frm_main::formKeptProperties(QWidget* form, const QString& key) {
    try {
        return state_.Conn->keptTable().load(key);
    } catch (const StoreError& e) {
        state_.env.dialogs->show(form, msg::warning(QStringLiteral("不能读取其它资料: ") + e.message()));
        return {};
    }
}

void Frm_main::recordFormClosed(bool newContactFormsOpen) {
    state_.EditFlag = newContactFormsOpen;
}

bool Frm_main::searchFromForm(QWidget* form, const Query& query) {
    CommandResult result = run([&] { return state_.search(query); });
    const bool done = result.ok;
    apply(std::move(result), form);
    return done;
}

Frm_main::~Frm_main() {
    state_.shownView = nullptr; // the session outlives the window
    keyFiller_.reset(); // its thread stops before the connection it reads can go
}

QTreeView* Frm_main::TV() const {
    return tree_;
}
QTreeView* Frm_main::LV() const {
    return list_;
}

QAction* Frm_main::action(const QString& key) const {
    const auto found = actions_.find(key);
    return found == actions_.end() ? nullptr : found->second;
}

QAction* Frm_main::addButton(const QString& key, const QString& caption, const QString& tooltip, int image) {
    QAction* button = toolbar_->addAction(pictures::toolbar(image), caption);
    button->setObjectName(key);
    button->setToolTip(tooltip);
    connect(button, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    actions_[key] = button;
    if (auto* face = qobject_cast<QToolButton*>(toolbar_->widgetForAction(button))) {
        face->setObjectName(key);
        face->setAccessibleName(caption);
        face->setFocusPolicy(Qt::NoFocus); // a click on the toolbar leaves the focus flags as they were
    }
    return button;
}

void Frm_main::addEntry(QAction* button, const QString& key, const QString& text) {
    auto* face = qobject_cast<QToolButton*>(toolbar_->widgetForAction(button));
    QMenu* menu = face->menu();
    if (!menu) {
        menu = new QMenu(face);
        FocusReturn::around(menu);
        face->setMenu(menu);
        face->setPopupMode(QToolButton::MenuButtonPopup);
        // The pointer left the button while the menu was open; the button must not stay drawn
        // raised until it passes over it again.
        connect(menu, &QMenu::aboutToHide, face, [face] {
            if (!face->rect().contains(face->mapFromGlobal(QCursor::pos()))) {
                face->setAttribute(Qt::WA_UnderMouse, false);
                face->setDown(false);
                face->update();
            }
        });
    }
    QAction* entry = menu->addAction(text);
    entry->setObjectName(key);
    connect(entry, &QAction::triggered, this, [this, key] { Toolbar1_ButtonMenuClick(key); });
    actions_[key] = entry;
}

void Frm_main::addHistoryActions() {
    // Ctrl+Z and Ctrl+Shift+Z anywhere in the window; a text box that has the focus keeps its own.
    auto* undo = new QAction(QStringLiteral("撤销"), this);
    undo->setObjectName(QStringLiteral("undo"));
    undo->setShortcut(QKeySequence::Undo);
    auto* redo = new QAction(QStringLiteral("重做"), this);
    redo->setObjectName(QStringLiteral("redo"));
    // Not QKeySequence::Redo: on X11 it is Ctrl+Y too, which is 立即同步 here.
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    for (QAction* action : {undo, redo}) {
        action->setShortcutVisibleInContextMenu(true);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        addAction(action);
    }
    connect(undo, &QAction::triggered, this, [this] { apply(run([&] { return state_.undo(); })); });
    connect(redo, &QAction::triggered, this, [this] { apply(run([&] { return state_.redo(); })); });
    connect(&state_, &DirectorySession::historyChanged, this, [this, undo, redo] {
        undo->setEnabled(state_.canUndo());
        redo->setEnabled(state_.canRedo());
    });
    actions_[QStringLiteral("undo")] = undo;
    actions_[QStringLiteral("redo")] = redo;
}

void Frm_main::addHistoryEntries(QMenu& menu) {
    menu.addSeparator();
    for (const char* key : {"undo", "redo"}) {
        if (const auto found = actions_.find(QLatin1String(key)); found != actions_.end())
            menu.addAction(found->second);
    }
}

void Frm_main::buildToolbar() {
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setOrientation(Qt::Vertical);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(24, 24));
    QAction* add = addButton(QStringLiteral("addbutt"), QStringLiteral("新建"), QStringLiteral("新建一条记录"), 1);
    addEntry(add, QStringLiteral("addnew"), QStringLiteral("名单"));
    addEntry(add, QStringLiteral("addgroup"), QStringLiteral("分组"));
    addEntry(add, QStringLiteral("import"), QStringLiteral("导入联系人..."));
    addEntry(add, QStringLiteral("export"), QStringLiteral("导出联系人..."));
    addButton(QStringLiteral("editbutt"), QStringLiteral("修改"), QStringLiteral("修改当前的联系资料"), 2);
    addButton(QStringLiteral("delebutt"), QStringLiteral("删除"), QStringLiteral("删除当前的资料"), 3);
    QAction* query =
        addButton(QStringLiteral("querybutt"), QStringLiteral("查询"), QStringLiteral("按自己的要求查询"), 4);
    addEntry(query, QStringLiteral("birthday"), QStringLiteral("最近生日人员"));
    addEntry(query, QStringLiteral("deleted"), QStringLiteral("最近删除..."));
    addEntry(query, QStringLiteral("duplicates"), QStringLiteral("查找重复..."));
    QAction* set = addButton(QStringLiteral("setbutt"), QStringLiteral("设置"), QStringLiteral("工具栏的放置位置"), 5);
    addEntry(set, QStringLiteral("left"), QStringLiteral("工具栏靠左"));
    addEntry(set, QStringLiteral("right"), QStringLiteral("工具栏靠右"));
    addEntry(set, QStringLiteral("config"), QStringLiteral("其它设置"));
    addEntry(set, QStringLiteral("detail"), QStringLiteral("详细资料栏"));
    actions_[QStringLiteral("detail")]->setCheckable(true);
    addEntry(set, QStringLiteral("setexport"), QStringLiteral("导出联系人...")); // where it always was
    addEntry(set, QStringLiteral("syncsettings"), QStringLiteral("同步设置..."));
    addEntry(set, QStringLiteral("syncnow"), QStringLiteral("立即同步"));
    addButton(QStringLiteral("aboutbutt"), QStringLiteral("ABOUT"), QStringLiteral("嘿嘿~~关于我的"), 6);
    addButton(QStringLiteral("quitbutt"), QStringLiteral("退出"), QStringLiteral("退出去了哟"), 7);
}

bool Frm_main::Form_Load() {
    Settings& settings = *state_.env.settings;
    state_.RemindDays =
        std::clamp(settings.integer(setting::Day, setting::DayDefault), setting::DayMinimum, setting::DayMaximum);
    state_.RemindAtStart = settings.integer(setting::Birthday, setting::BirthdayDefault);
    restorePlacement();
    listlayout::restore(list_, listModel_, settings);
    showDetailPane(settings.integer(setting::DetailPane, 0) == 1);
    if (settings.integer(setting::Toolbar, 0) == 1)
        placeToolbar(true);
    if (!openDataFile())
        return false;
    // The address-book sync works on its own connection in a worker thread; after each batch it
    // commits the session tells the window that everything may have changed.
    sync_ = new SyncController(this, *state_.env.dialogs, settings, paths_.data, [this] { return state_.Conn.get(); },
                               [this] {
                                   if (state_.Conn)
                                       emit state_.everythingChanged();
                               });
    keyFiller_ = std::make_unique<PinyinKeyFiller>(*state_.Conn, paths_.data, state_.storeOptions, this);
    // The tree, then everybody or the start-up reminder. The reminder's message stands over the
    // filled window, not over nothing. With the reminder the tree is read before the reminder
    // writes anything (a failing write then leaves the tree whole); without it the list of
    // everybody is read once for both.
    if (state_.RemindAtStart == 1) {
        CommandResult tree;
        tree.rebuildTree = true;
        tree.treeFailure = QStringLiteral("不能读取分组: ");
        apply(std::move(tree));
    }
    CommandResult result = run([&] { return state_.start(); });
    result.rebuildTree = state_.RemindAtStart != 1;
    result.treeFailure = QStringLiteral("不能读取分组: ");
    std::optional<Notice> notice = std::move(result.notice);
    result.notice.reset();
    apply(std::move(result));
    if (notice) {
        show();
        CommandResult told;
        told.notice = std::move(notice);
        apply(std::move(told));
    }
    return true;
}

QString Frm_main::tryOpenDataFile() {
    try {
        // Taken before the file is opened: what the last orderly close checked is the file as it was.
        const QString stamp = filestamp::of(paths_.data);
        state_.Conn = Store::open(paths_.data, state_.storeOptions);
        // A file can open and still be damaged further in. It is read through once now, as the
        // close step does before it trusts the file for the backup, so that the backup is offered
        // before any work is done on a damaged file; unless nothing has touched it since that
        // close step passed it.
        if (!stamp.isEmpty() && stamp == state_.env.settings->text(setting::CheckedDataFile)) {
            state_.enableHistory();
            return {};
        }
        const QString check = state_.Conn->quickCheck();
        if (check == QStringLiteral("ok")) {
            state_.enableHistory();
            return {};
        }
        state_.Conn.reset();
        return check;
    } catch (const StoreError& e) {
        state_.Conn.reset();
        return e.message();
    }
}

bool Frm_main::openDataFile() {
    Dialogs& dialogs = *state_.env.dialogs;
    const QString problem = tryOpenDataFile();
    if (!problem.isEmpty()) {
        const QString named = QStringLiteral("数据文件 %1 不能使用: %2").arg(paths_.data, problem);
        if (!QFile::exists(paths_.backup) || checkDataFile(paths_.backup) != QStringLiteral("ok")) {
            dialogs.show(this, msg::stop(named + QStringLiteral("\n程序中止")));
            return false;
        }
        const Message offer{named + QStringLiteral("\n但还有备份文件,是否从备份文件恢复?"), QStringLiteral("重要提示"),
                            MsgIcon::Question, MsgButtons::YesNo, MsgAnswer::Yes};
        if (dialogs.show(this, offer) != MsgAnswer::Yes)
            return false;
        QString error;
        if (!restoreOverDamaged(paths_, nullptr, &error)) {
            dialogs.show(this, msg::stop(QStringLiteral("不能从备份文件恢复: ") + error));
            return false;
        }
        const QString again = tryOpenDataFile();
        if (!again.isEmpty()) {
            dialogs.show(this, msg::stop(QStringLiteral("数据文件 %1 不能使用: %2").arg(paths_.data, again)));
            return false;
        }
    }
    // SQLite writes its journal beside the data file: a folder that takes no new file refuses every
    // change as surely as a read-only file.
    // What the file held at the start: a close that finds most of it gone asks before it touches the backup.
    try {
        contactsAtStart_ = state_.Conn->contactCount();
    } catch (const StoreError&) {
        contactsAtStart_ = -1;
    }
    // Pictures left by an import that did not finish, and pictures no contact names any more, go.
    try {
        if (!state_.Conn->isReadOnly())
            photofolder::tidy(*state_.Conn, paths_.data);
    } catch (const StoreError&) {
        // The folder stays as it is; the next start tries again.
    }
    if (!state_.Conn->droppedSchema().isEmpty())
        dialogs.show(this, msg::warning(QStringLiteral("数据文件中有不是本程序建立的%1，它们可能改动或拖住数据，已将它们删除。")
                                            .arg(state_.Conn->droppedSchema().join(QStringLiteral("、")))));
    if (state_.Conn->isReadOnly())
        dialogs.show(this, msg::warning(QStringLiteral("数据文件是只读的,所做的修改不能保存。")));
    else if (!QFileInfo(paths_.dir).isWritable())
        dialogs.show(this, msg::warning(QStringLiteral("数据文件所在的文件夹是只读的,所做的修改不能保存。")));
    return true;
}

void Frm_main::restorePlacement() {
    Settings& settings = *state_.env.settings;
    if (settings.integer(setting::State, 0) == 2) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    // A position far beyond any screen (a damaged or hand-edited settings file) is cut down first,
    // so that the pixel arithmetic below cannot overflow; the screen check then brings it back.
    constexpr double Far = 1'000'000 * twips::PerPixel;
    auto read = [&](const QString& key, double fallback) {
        return std::clamp(settings.number(key, fallback), -Far, Far);
    };
    const double left = read(setting::Left, setting::LeftDefault);
    const double top = read(setting::Top, setting::TopDefault);
    const double height = read(setting::Height, setting::HeightDefault);
    const double width = read(setting::Width, setting::WidthDefault);
    // The saved size is the outer one, frame included: the frame measured at the last close is taken
    // off (the design's frame before the first close), so that the window comes back as it was.
    if (const std::optional<QMargins> measured = layout::frameFromText(settings.text(setting::Frame)))
        frameMargins_ = *measured;
    const int frameWidth = frameMargins_.left() + frameMargins_.right();
    const int frameHeight = frameMargins_.top() + frameMargins_.bottom();
    QRect outer(twips::toPixels(left), twips::toPixels(top),
                std::clamp(twips::toPixels(width), 120 + frameWidth, 20000),
                std::clamp(twips::toPixels(height), 120 + frameHeight, 20000));
    // A window saved on a screen that is gone, or larger than this one, comes back whole on a screen.
    QList<QRect> areas;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        areas << primary->availableGeometry();
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    outer = layout::fitOnScreen(outer, areas);
    move(outer.topLeft());
    resize(outer.width() - frameWidth, outer.height() - frameHeight);
    const double tree = settings.number(setting::TreeWidth, layout::TreeWidth);
    pendingTreeWidth_ = std::clamp(twips::toPixels(std::clamp(tree, 0.0, 1e6)), 20, 5000);
    Form_Resize();
}

void Frm_main::placeToolbar(bool left) {
    toolbarLeft_ = left;
    frameLeft_ = left ? layout::frameLeftWhenToolbarLeft(frameLeft_) : layout::frameLeftWhenToolbarRight();
    // The entry for the placement in force is hidden, so neither can be applied twice in a row.
    action(QStringLiteral("left"))->setVisible(!left);
    action(QStringLiteral("right"))->setVisible(left);
    Form_Resize();
}

void Frm_main::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Frm_main::Form_Resize() {
    const QSize decoration = isVisible() && frameGeometry().size() != size()
                                 ? frameGeometry().size() - size()
                                 : QSize(frameMargins_.left() + frameMargins_.right(),
                                         frameMargins_.top() + frameMargins_.bottom());
    const double outerWidth = twips::fromPixels(width() + decoration.width());
    const double outerHeight = twips::fromPixels(height() + decoration.height());
    sizes_ = layout::resized(sizes_, outerWidth, outerHeight);
    frame_->setGeometry(twips::toPixels(frameLeft_), twips::toPixels(layout::FrameTop),
                        twips::toPixels(sizes_.frameWidth), twips::toPixels(sizes_.frameHeight));
    // The tree and the list side by side in the splitter: from the tree's left edge to the list's
    // right edge, the two heights being always equal.
    const int viewsLeft = twips::toPixels(layout::TreeLeft);
    const int viewsWidth = twips::toPixels(layout::ListLeft) + twips::toPixels(sizes_.listWidth) - viewsLeft;
    splitter_->setGeometry(viewsLeft, twips::toPixels(layout::ViewTop), viewsWidth,
                           twips::toPixels(sizes_.treeHeight));
    if (pendingTreeWidth_ >= 0) {
        const int treeWidth = std::min(pendingTreeWidth_, std::max(20, viewsWidth - splitter_->handleWidth() - 40));
        splitter_->setSizes({treeWidth, viewsWidth - splitter_->handleWidth() - treeWidth});
        pendingTreeWidth_ = -1;
    }
    // A window not yet shown lays nothing out by itself; its sizes are read before the first show.
    if (!isVisible())
        listPane_->layout()->activate();
    const int toolbarWidth = twips::toPixels(layout::ToolbarWidth);
    toolbar_->setGeometry(toolbarLeft_ ? 0 : width() - toolbarWidth, 0, toolbarWidth, height());
    toolbar_->raise();
}

bool Frm_main::eventFilter(QObject* watched, QEvent* event) {
    // The Delete key in either view is the toolbar's delete command, with its confirmations. (An
    // in-place editor is a widget of its own, so its Delete key stays its own.)
    if (event->type() == QEvent::KeyPress && (watched == list_ || watched == tree_) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        Toolbar1_ButtonClick(QStringLiteral("delebutt"));
        return true;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const bool in = event->type() == QEvent::FocusIn;
        // A message box or a menu taking the focus for a moment does not count as leaving the view.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (!in && (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason))
            return false;
        if (watched == list_)
            Lvfocus = in;
        else if (watched == tree_)
            Tvfocus = in;
    }
    return QWidget::eventFilter(watched, event);
}

QStringList Frm_main::droppedContactFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (!path.isEmpty() && (suffix == u"vcf" || suffix == u"csv") && QFileInfo(path).isFile())
            files << path;
    }
    return files;
}

void Frm_main::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedContactFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Frm_main::dropEvent(QDropEvent* event) {
    const QStringList files = droppedContactFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // After the drop has ended: the import asks in dialogs of its own.
    QTimer::singleShot(0, this, [this, files] { importDroppedFiles(files); });
}

void Frm_main::importDroppedFiles(const QStringList& files, const GroupChooser& chooseGroup) {
    for (const QString& file : files)
        importFile(view_, file, chooseGroup);
}

void Frm_main::adoptModeless(QWidget* form) {
    modeless_.append(form);
}

void Frm_main::saveSettings() {
    Settings& settings = *state_.env.settings;
    const Qt::WindowStates states = windowState();
    const int stateNumber = states & Qt::WindowMinimized ? 1 : states & Qt::WindowMaximized ? 2 : 0;
    settings.setText(setting::State, QString::number(stateNumber));
    const QRect outer = frameGeometry();
    auto single = [](double value) { return QString::number(static_cast<float>(value)); };
    settings.setText(setting::Left, single(twips::fromPixels(outer.x())));
    settings.setText(setting::Top, single(twips::fromPixels(outer.y())));
    settings.setText(setting::Height, single(twips::fromPixels(outer.height())));
    settings.setText(setting::Width, single(twips::fromPixels(outer.width())));
    if (stateNumber == 0 && outer != geometry()) {
        const QRect inner = geometry();
        settings.setText(setting::Frame, layout::frameText(QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                                                    outer.right() - inner.right(),
                                                                    outer.bottom() - inner.bottom())));
    } else if (stateNumber == 0) {
        settings.setText(setting::Frame, layout::frameText(QMargins())); // no frame drawn (no window manager)
    }
    settings.setText(setting::TreeWidth, single(twips::fromPixels(tree_->width())));
    listlayout::save(list_, listModel_, settings);
    settings.sync();
}

void Frm_main::closeEvent(QCloseEvent* event) {
    // A record form still open without modality goes first: it must not outlive the connection.
    // One that holds unsaved changes asks first; Cancel there keeps the program running.
    for (const QPointer<QWidget>& form : modeless_) {
        if (form && !form->close()) {
            event->ignore();
            return;
        }
    }
    modeless_.clear();
    if (sync_)
        sync_->stop(); // its worker writes the data file: done before the backup is taken
    saveSettings();
    if (keyFiller_)
        keyFiller_->finish();
    keyFiller_.reset();
    const bool hadData = state_.Conn != nullptr;
    state_.Conn.reset();
    if (hadData) {
        // The file as the backup step checks it; kept only if nobody wrote to it meanwhile.
        const QString stamp = filestamp::of(paths_.data);
        const bool backedUp = closebackup::run(paths_, contactsAtStart_, state_.env.dialogs, this);
        Settings& settings = *state_.env.settings;
        settings.setText(setting::CheckedDataFile, backedUp && stamp == filestamp::of(paths_.data) ? stamp : QString());
        settings.sync();
    }
    event->accept();
}
