#pragma once
// 查找重复: the groups of likely duplicates on the left; for the chosen group, every field's values
// side by side on the right, one of them picked (by default the longest, or the more recent). 合并
// hands the picked fields to the window, which merges through the session; the dialog only asks.
#include "core/store/ContactFields.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QListWidget;
class QPushButton;

class DuplicatesDialog : public QDialog {
    Q_OBJECT
public:
    using Loader = std::function<std::optional<ContactFields>(const QString& key)>;
    // merge(keys, fields) merges the group (keys in the data file's order) into its first key and
    // answers whether it did; the group then leaves the list.
    using Merger = std::function<bool(const QStringList& keys, const ContactFields& merged)>;

    DuplicatesDialog(std::vector<QStringList> groups, Loader load, Merger merge, QWidget* parent = nullptr);

    QListWidget* groupList() const { return groups_; }
    QComboBox* choice(int field) const { return choices_[static_cast<size_t>(field)]; }
    QPushButton* mergeButton() const { return merge_; }
    // The fields as picked now.
    ContactFields picked() const;

    static constexpr int FieldCount = 15; // 姓名, 生日, then the texts from 移动电话 to 照片

private:
    void showGroup(int row);
    void mergeCurrent();

    std::vector<QStringList> keys_;
    Loader load_;
    Merger mergeWith_;
    std::vector<ContactFields> people_;
    QListWidget* groups_;
    std::vector<QComboBox*> choices_;
    QPushButton* merge_;
};
