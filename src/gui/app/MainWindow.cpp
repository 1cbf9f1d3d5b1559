#include "gui/app/MainWindow.h"

#include "core/app/Messages.h"
#include "core/app/Settings.h"
#include "core/app/Twips.h"
#include "core/store/Store.h"
#include "gui/app/Commands.h"
#include "gui/app/Views.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "gui/list/ListColumns.h"
#include "gui/shared/Pictures.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace {
// The window's frame in twips when the window system has not told us yet: the design's outer size
// (10695 x 6840) less its client area (10575 x 6345).
constexpr double DesignFrameWidth = setting::WidthDefault - layout::ClientWidth;
constexpr double DesignFrameHeight = setting::HeightDefault - layout::ClientHeight;
} // namespace

Frm_main::Frm_main(AppState& state, const DataPaths& paths, QWidget* parent)
    : QWidget(parent), state_(state), paths_(paths), frame_(new QFrame(this)), tree_(new NodeTreeView(frame_)),
      list_(new ReportView(frame_)), toolbar_(new QToolBar(this)), treeModel_(new GroupTreeModel(this)),
      listModel_(new ContactListModel(this)), view_{state, this, tree_, treeModel_, list_, listModel_, this} {
    setObjectName(QStringLiteral("Frm_main"));
    setWindowTitle(QStringLiteral("zinteva"));
    setWindowIcon(pictures::application());
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setFrameShape(QFrame::StyledPanel);
    tree_->setObjectName(QStringLiteral("TV"));
    tree_->setAccessibleName(QStringLiteral("分组"));
    tree_->setModel(treeModel_);
    list_->setObjectName(QStringLiteral("LV"));
    list_->setAccessibleName(QStringLiteral("联系人列表"));
    list_->header()->setAccessibleName(QStringLiteral("列标题"));
    list_->setModel(listModel_);
    for (int column = 0; column < listcolumns::Count; ++column)
        list_->header()->resizeSection(column, twips::toPixels(listcolumns::All[column].widthTwips));
    tree_->installEventFilter(this);
    list_->installEventFilter(this);
    buildToolbar();

    connect(tree_, &NodeTreeView::nodeClicked, this, [this](const QModelIndex& node) { TV_NodeClick(view_, node); });
    // The commands users reach by keyboard in every desktop program.
    auto* newContact = new QShortcut(QKeySequence::New, this);
    connect(newContact, &QShortcut::activated, this, [this] { Toolbar1_ButtonClick(QStringLiteral("addbutt")); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { Toolbar1_ButtonClick(QStringLiteral("querybutt")); });
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
        [this](const QString& key, const QString& text) { LV_AfterLabelEdit(view_, key, text); },
        Qt::QueuedConnection);

    // What another part of the program changes reaches the window through the session's notices.
    for (auto notice : {&DirectorySession::contactsAdded, &DirectorySession::contactsChanged,
                        &DirectorySession::contactsRemoved, &DirectorySession::groupsAdded,
                        &DirectorySession::groupsRenamed, &DirectorySession::groupsRemoved})
        connect(&state_, notice, this, &Frm_main::changedElsewhere);
    connect(&state_, &DirectorySession::everythingChanged, this, &Frm_main::changedElsewhere);

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
            LoadGroupTree(tree_, treeModel_, *state_.Conn);
            SelectCurrentNode(tree_, treeModel_, result.selectNode);
        } catch (const StoreError& e) {
            dialogs.show(over, msg::warning(result.treeFailure + e.message()));
        }
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
        showRows(list_, listModel_, *state_.Conn, std::move(*result.rows), result.picture);
    if (!result.removeRow.isEmpty())
        listModel_->removeContactRow(listModel_->rowOfKey(result.removeRow));
    if (!result.renameRow.isEmpty())
        listModel_->setName(listModel_->rowOfKey(result.renameRow), result.rowName);
    if (!result.selectRow.isEmpty())
        selectRowOfKey(list_, listModel_, result.selectRow);
    if (result.focusList)
        list_->setFocus();
    if (result.notice)
        dialogs.show(over, messageOf(*result.notice));
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

void Frm_main::recordFormClosed(bool newContactFormsOpen) {
    state_.EditFlag = newContactFormsOpen;
}

bool Frm_main::searchFromForm(QWidget* form, const Query& query) {
    CommandResult result = run([&] { return state_.search(query); });
    const bool done = result.ok;
    apply(std::move(result), form);
    return done;
}

Frm_main::~Frm_main() = default;

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
        face->setMenu(menu);
        face->setPopupMode(QToolButton::MenuButtonPopup);
    }
    QAction* entry = menu->addAction(text);
    entry->setObjectName(key);
    connect(entry, &QAction::triggered, this, [this, key] { Toolbar1_ButtonMenuClick(key); });
    actions_[key] = entry;
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
    addButton(QStringLiteral("editbutt"), QStringLiteral("修改"), QStringLiteral("修改当前的联系资料"), 2);
    addButton(QStringLiteral("delebutt"), QStringLiteral("删除"), QStringLiteral("删除当前的资料"), 3);
    QAction* query =
        addButton(QStringLiteral("querybutt"), QStringLiteral("查询"), QStringLiteral("按自己的要求查询"), 4);
    addEntry(query, QStringLiteral("birthday"), QStringLiteral("最近生日人员"));
    QAction* set = addButton(QStringLiteral("setbutt"), QStringLiteral("设置"), QStringLiteral("工具栏的放置位置"), 5);
    addEntry(set, QStringLiteral("left"), QStringLiteral("工具栏靠左"));
    addEntry(set, QStringLiteral("right"), QStringLiteral("工具栏靠右"));
    addEntry(set, QStringLiteral("config"), QStringLiteral("其它设置"));
    addEntry(set, QStringLiteral("export"), QStringLiteral("导出联系人..."));
    addButton(QStringLiteral("aboutbutt"), QStringLiteral("ABOUT"), QStringLiteral("嘿嘿~~关于我的"), 6);
    addButton(QStringLiteral("quitbutt"), QStringLiteral("退出"), QStringLiteral("退出去了哟"), 7);
}

void Frm_main::fillMissingPinyinKeys() {
    if (!state_.Conn)
        return;
    // Names stored by an older build or another tool get their pinyin keys once; a progress bar
    // shows when that takes a while.
    QProgressDialog progress(QStringLiteral("正在为联系人生成拼音索引..."), QString(), 0, 1, this);
    progress.setWindowTitle(QStringLiteral("zinteva"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setCancelButton(nullptr);
    try {
        state_.Conn->pinyinKeys().backfill([&](int done, int total) {
            progress.setMaximum(total);
            progress.setValue(done);
        });
    } catch (const std::exception& e) {
        qDebug() << "pinyin keys:" << e.what(); // the search by pinyin then misses those names
    }
}

bool Frm_main::Form_Load() {
    Settings& settings = *state_.env.settings;
    state_.RemindDays =
        std::clamp(settings.integer(setting::Day, setting::DayDefault), setting::DayMinimum, setting::DayMaximum);
    state_.RemindAtStart = settings.integer(setting::Birthday, setting::BirthdayDefault);
    restorePlacement();
    if (settings.integer(setting::Toolbar, 0) == 1)
        placeToolbar(true);
    if (!openDataFile())
        return false;
    // After the window is on screen: it costs a full pass over a large directory.
    QTimer::singleShot(0, this, &Frm_main::fillMissingPinyinKeys);
    // The tree, then everybody or the start-up reminder. The reminder's message stands over the
    // filled window, not over nothing.
    CommandResult tree;
    tree.rebuildTree = true; // read before the start-up reminder writes anything
    tree.treeFailure = QStringLiteral("不能读取分组: ");
    apply(std::move(tree));
    CommandResult result = run([&] { return state_.start(); });
    result.rebuildTree = false;
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
        state_.Conn = Store::open(paths_.data, state_.storeOptions);
        // A file can open and still be damaged further in. It is read through once now, as the
        // close step does before it trusts the file for the backup, so that the backup is offered
        // before any work is done on a damaged file.
        const QString check = state_.Conn->quickCheck();
        if (check == QStringLiteral("ok"))
            return {};
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
    QPoint position(twips::toPixels(left), twips::toPixels(top));
    QSize client(std::clamp(twips::toPixels(width - DesignFrameWidth), 120, 20000),
                 std::clamp(twips::toPixels(height - DesignFrameHeight), 120, 20000));
    // A window saved on a screen that is gone comes back on the primary screen.
    const QRect wanted(position, client);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(wanted);
    if (!onScreen && QGuiApplication::primaryScreen())
        position = QGuiApplication::primaryScreen()->availableGeometry().topLeft();
    move(position);
    resize(client);
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
    const QSize decoration = isVisible() ? frameGeometry().size() - size()
                                         : QSize(twips::toPixels(DesignFrameWidth), twips::toPixels(DesignFrameHeight));
    const double outerWidth = twips::fromPixels(width() + decoration.width());
    const double outerHeight = twips::fromPixels(height() + decoration.height());
    sizes_ = layout::resized(sizes_, outerWidth, outerHeight);
    frame_->setGeometry(twips::toPixels(frameLeft_), twips::toPixels(layout::FrameTop),
                        twips::toPixels(sizes_.frameWidth), twips::toPixels(sizes_.frameHeight));
    tree_->setGeometry(twips::toPixels(layout::TreeLeft), twips::toPixels(layout::ViewTop),
                       twips::toPixels(layout::TreeWidth), twips::toPixels(sizes_.treeHeight));
    list_->setGeometry(twips::toPixels(layout::ListLeft), twips::toPixels(layout::ViewTop),
                       twips::toPixels(sizes_.listWidth), twips::toPixels(sizes_.listHeight));
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
    settings.sync();
}

void Frm_main::closeEvent(QCloseEvent* event) {
    // A record form still open without modality goes first: it must not outlive the connection.
    for (const QPointer<QWidget>& form : modeless_) {
        if (form)
            form->close();
    }
    modeless_.clear();
    saveSettings();
    const bool hadData = state_.Conn != nullptr;
    state_.Conn.reset();
    if (hadData) {
        QString error;
        if (!refreshBackup(paths_, &error))
            state_.env.dialogs->show(this,
                                     msg::warning(QStringLiteral("备份文件没有更新,旧的备份仍然保留。\n") + error));
    }
    event->accept();
}
