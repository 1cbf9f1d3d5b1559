#pragma once
// Bringing contacts in from a vCard or CSV file and taking them out again, from the toolbar's
// drop-down entries "导入联系人..." and "导出联系人...".
#include "core/exchange/Exporter.h"
#include "core/store/ContactFields.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QRadioButton;

// The import dialog: the file, how many cards it holds, and the group for cards that name none.
class Frm_import : public QDialog {
    Q_OBJECT
public:
    Frm_import(const QString& file, int cards, const std::vector<GroupRow>& groups, const QString& defaultGroup,
               QWidget* owner);
    QString chosenGroup() const;

private:
    QComboBox* Cgroup;
};

// The export dialog: which contacts, in which format.
class Frm_export : public QDialog {
    Q_OBJECT
public:
    Frm_export(const QString& groupName, int shownRows, QWidget* owner);
    ExportSelection::Kind chosenKind() const;
    ExportFormat chosenFormat() const;

private:
    QRadioButton* all_;
    QRadioButton* group_;
    QRadioButton* shown_;
    QComboBox* format_;
};

struct ExportChoice {
    ExportSelection::Kind kind = ExportSelection::Kind::All;
    ExportFormat format = ExportFormat::VCard30;
};

// Tests answer the two dialogs through these; by default the dialogs above are shown.
using GroupChooser = std::function<std::optional<QString>(
    const QString& file, int cards, const std::vector<GroupRow>& groups, const QString& defaultGroup)>;
using ExportChooser = std::function<std::optional<ExportChoice>(const QString& groupName, int shownRows)>;

