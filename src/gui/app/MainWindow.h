#pragma once
// Frm_main: the group tree and the contact list inside Frame1, with the vertical toolbar docked at
// the right or the left edge. Loads the settings and the data, keeps the layout fitted to the
// window, and at close saves the placement, releases the data file and refreshes the backup.
#include "core/app/Layout.h"
#include "core/store/DataFiles.h"
#include "gui/app/Commands.h"
#include "gui/app/MainView.h"
#include "gui/app/SessionEnd.h"
#include "gui/forms/QueryForm.h"
#include "gui/forms/RecordForm.h"

#include <QMargins>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

class QLabel;
class QAction;
class QMimeData;
class QFrame;
class QHBoxLayout;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeView;
class GroupTreeModel;
class ContactListModel;
class ListFilterBar;
class NodeTreeView;
class ReportView;
class SyncController;
class PinyinKeyFiller;
class DetailPane;

class QMenu;

class Frm_main : public QWidget, public RecordFormHost, public QueryFormHost {
    Q_OBJECT
public:
    Frm_main(AppState& state, const DataPaths& paths, QWidget* parent = nullptr);
    ~Frm_main() override;

    // The load step: settings, placement, the data file, the tree, the list, the start-up reminder.
    // False when the data file cannot be used; the user has been told.
    bool Form_Load();

    MainView& view() { return view_; }
    AppState& state() { return state_; }
    QTreeView* TV() const;
    QTreeView* LV() const;
    QToolBar* Toolbar1() const { return toolbar_; }
    QFrame* Frame1() const { return frame_; }
    QSplitter* splitter() const { return splitter_; }
    ListFilterBar* filterBar() const { return filterBar_; }
    // The line over the list: what its rows are and how many ("同事 · 56 人").
    QLabel* listCaption() const { return caption_; }
    GroupTreeModel* treeModel() const { return treeModel_; }
    ContactListModel* listModel() const { return listModel_; }
    QAction* action(const QString& key) const; // a button or drop-down entry by its key
    // What makes the pinyin keys of names stored without them, after the first paint.
    PinyinKeyFiller* keyFiller() const { return keyFiller_.get(); }

    bool Lvfocus = false;
    bool Tvfocus = false;

    void Toolbar1_ButtonClick(const QString& key);
    void Toolbar1_ButtonMenuClick(const QString& key);

    // Shows what a command of the session says, in one place: the tree, then the list, then the
    // message (over messageParent, else this window).
    void apply(CommandResult result, QWidget* messageParent = nullptr);
    // Runs a command of the session and applies its result; the session's change notices of that
    // command are then not applied a second time.
    template <typename Command> CommandResult run(Command&& command) {
        const SessionEnd::WriteScope writing; // a signal meanwhile waits for the command's end
        ownCommand_ = true;
        CommandResult result = command();
        ownCommand_ = false;
        return result;
    }
    // Opens the list's selected person in the record form, modally.
    void Lv_edit();
    // A record form: for a new person (no key), or for the person with that key and fields.
    void openRecordForm(const std::optional<QString>& key, const std::optional<ContactFields>& fields, bool modal);

    // RecordFormHost and QueryFormHost: what the forms ask of the main window.
    QWidget* formOwner() override { return this; }
    Dialogs& formDialogs() override;
    std::vector<GroupRow> formGroups(QWidget* form) override;
    QString formContactKey() override;
    bool saveFromForm(QWidget* form, const std::optional<QString>& key, const ContactFields& fields) override;
    std::vector<KeptProperty> formKeptProperties(QWidget* form, const QString& key) override;
    void recordFormClosed(bool newContactFormsOpen) override;
    bool searchFromForm(QWidget* form, const Query& query) override;

    bool toolbarAtLeft() const { return toolbarLeft_; }
    double frameLeftTwips() const { return frameLeft_; }
    const layout::Sizes& sizes() const { return sizes_; }
    // A record form opened without modality; closed before the data file is released.
    void adoptModeless(QWidget* form);
    SyncController* syncController() const { return sync_; }
    DetailPane* detailPane() const { return detail_; }

    // The people of the list's selected rows, top to bottom.
    QStringList selectedContactKeys() const;
    // The list's right-click menu for a row (none: the list's empty part): 修改, 重命名, 删除,
    // 移动到分组 ▸ the groups, ... The menu key and Shift+F10 open it for the current row.
    void fillListMenu(QMenu& menu, const QModelIndex& row);
    // 移动到分组 and a drop on a group: the people into the group, one step of the history, the
    // tree and the list refreshed once.
    void moveContactsTo(const QStringList& contactKeys, const QString& groupKey);

    // Files dropped on the window: the .vcf and .csv ones among them, in their order.
    static QStringList droppedContactFiles(const QMimeData* data);
    // Imports each file as 新建 ▸ 导入联系人... would, without the file dialog. `chooseGroup`
    // stands in for the import dialog (tests); empty: the dialog asks.
    void importDroppedFiles(const QStringList& files, const GroupChooser& chooseGroup = {});

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void addHistoryActions();
    // 撤销 and 重做 at the end of a right-click menu.
    void addHistoryEntries(QMenu& menu);
    void showRecentlyDeleted();
    // The selected person's card beside the list (setting::DetailPane remembers whether it shows).
    void addDetailPane();
    void showDetailPane(bool shown);
    void followSelectionInDetail();
    std::optional<ContactFields> personOf(const QString& key);
    void showDuplicates();
    void deleteCommand();
    void addGroupCommand();
    bool groupReadyForNewContact();
    QAction* addButton(const QString& key, const QString& caption, const QString& tooltip, int image);
    void addEntry(QAction* button, const QString& key, const QString& text);
    void restorePlacement();
    void placeToolbar(bool left);
    void Form_Resize();
    bool openDataFile();
    QString tryOpenDataFile(); // empty when Conn is open on a sound file, else what is wrong
    void saveSettings();
    // A change the window did not make (another part of the program, an import): the tree and
    // the list are refreshed once, after the change.
    void changedElsewhere();
    // What the window shows now, as the history keeps it.
    ShownView shownNow() const;
    // The line over the list says again what the list shows now.
    void updateCaption();

    AppState& state_;
    DataPaths paths_;
    QFrame* frame_;
    QSplitter* splitter_; // the tree and the list, with a handle the user drags
    QWidget* listPane_;   // the list and its filter line
    QHBoxLayout* listRow_ = nullptr; // the list and the detail pane
    DetailPane* detail_ = nullptr;
    NodeTreeView* tree_;
    ReportView* list_;
    QToolBar* toolbar_;
    GroupTreeModel* treeModel_;
    ContactListModel* listModel_;
    MainView view_;
    ListFilterBar* filterBar_;
    QLabel* caption_;
    std::map<QString, QAction*> actions_;
    layout::Sizes sizes_;
    double frameLeft_ = layout::FrameDesignLeft;
    bool toolbarLeft_ = false;
    QMargins frameMargins_;      // the window frame, as last measured, until the window system tells
    int pendingTreeWidth_ = -1;  // pixels, applied once the splitter has its size
    QList<QPointer<QWidget>> modeless_;
    SyncController* sync_ = nullptr;
    std::unique_ptr<PinyinKeyFiller> keyFiller_;
    bool ownCommand_ = false;
    bool refreshPending_ = false;
    int contactsAtStart_ = -1;
};
