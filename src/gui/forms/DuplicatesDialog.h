#pragma once
// 查找重复: the groups of likely duplicates on the left; for the chosen group, every field's values
// side by side on the right. A single value (the name, the birthday in its calendar, the address,
// ...) is picked, by default the longest or the more recent; numbers, e-mails and messenger IDs are
// all kept, so they are only listed. 合并 hands the picked fields to the window, which merges through
// the session; the dialog only asks.
//
// The panel always shows the group selected on the left: it is read from the selected item's own
// keys, never from a row number that a merge, an undo or a refresh may have moved.
#include "core/store/ContactFields.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

class DuplicatesDialog : public QDialog {
    Q_OBJECT
public:
    using Loader = std::function<std::optional<ContactFields>(const QString& key)>;
    // merge(keys, fields) merges the group (keys in the data file's order) into its first key and
    // answers whether it did; the group then leaves the list.
    using Merger = std::function<bool(const QStringList& keys, const ContactFields& merged)>;
    // The groups as the data file has them now.
    using Finder = std::function<std::vector<QStringList>()>;
    // Undoes the last merge; answers whether it did.
    using Undoer = std::function<bool()>;

    DuplicatesDialog(std::vector<QStringList> groups, Loader load, Merger merge, QWidget* parent = nullptr);
    // With a finder, the groups are found again after every merge and undo (a merged person may
    // meet someone new); without one, the merged group just leaves the list.
    void setFinder(Finder find) { find_ = std::move(find); }
    // With an undoer, 撤销 (Ctrl+Z) takes back the merges made here, last first.
    void setUndoer(Undoer undo);

    QListWidget* groupList() const { return groups_; }
    // The box of a field picked from the group's values; nothing for a field whose values are kept.
    QComboBox* choice(int field) const { return choices_[static_cast<size_t>(field)]; }
    // The values of a field that are all kept (numbers, e-mails, IDs); nothing for a picked field.
    QLabel* kept(int field) const { return kept_[static_cast<size_t>(field)]; }
    QPushButton* mergeButton() const { return merge_; }
    QPushButton* undoButton() const { return undo_; }
    // The fields as picked now.
    ContactFields picked() const;
    // The groups found again; the selected group stays selected while it is still a group, else
    // the group now at its place is.
    void refresh();

    static constexpr int FieldCount = 15; // 姓名, 生日, then the texts from 移动电话 to 照片

private:
    void fill(const std::vector<QStringList>& groups, const QString& keepSelected, int row);
    void showSelected();
    void mergeSelected();
    void undoMerge();
    QStringList selectedKeys() const;

    Loader load_;
    Merger mergeWith_;
    Finder find_;
    Undoer undoWith_;
    int merges_ = 0; // merges made here that an undo may take back
    std::vector<ContactFields> people_;
    ContactFields defaults_;
    QLabel* intro_;
    QListWidget* groups_;
    std::vector<QComboBox*> choices_;
    std::vector<QLabel*> kept_;
    QPushButton* merge_;
    QPushButton* undo_ = nullptr;
};
