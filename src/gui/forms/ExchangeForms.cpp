#include "gui/forms/ExchangeForms.h"

#include "core/exchange/Importer.h"
#include "gui/list/ContactList.h"
#include "gui/list/ContactListModel.h"
#include "core/text/Keys.h"
#include "core/app/Messages.h"
#include "core/store/DataFiles.h"
#include "core/store/Store.h"
#include "gui/tree/GroupTree.h"
#include "gui/tree/GroupTreeModel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Files of more than this many cards get a progress bar.
constexpr int ProgressFrom = 300;

QDialogButtonBox* buttons(QDialog* dialog, const QString& okText) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setText(okText);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

// The group the tree shows: a group node, a person's group, or nothing for the top node.
QString selectedGroupKey(const MainView& view) {
    const QModelIndex node = view.TV->currentIndex();
    if (!node.isValid())
        return {};
    const QString key = view.tree->keyOf(node);
    if (keys::isGroup(key))
        return key;
    if (keys::kindOf(key) == keys::Kind::Contact)
        return view.tree->keyOf(node.parent());
    return {};
}

void tell(MainView& view, const Message& message) {
    view.state.env.dialogs->show(view.window, message);
}

} // namespace

Frm_import::Frm_import(const QString& file, int cards, const std::vector<GroupRow>& groups, const QString& defaultGroup,
                       QWidget* owner)
    : QDialog(owner), Cgroup(new QComboBox(this)) {
    setObjectName(QStringLiteral("Frm_import"));
    setWindowTitle(QStringLiteral("导入联系人"));
    Cgroup->setObjectName(QStringLiteral("Cgroup"));
    for (const GroupRow& group : groups) {
        Cgroup->addItem(group.name, group.key);
        if (group.key == defaultGroup)
            Cgroup->setCurrentIndex(Cgroup->count() - 1);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("文件:"), new QLabel(QFileInfo(file).fileName(), this));
    form->addRow(QStringLiteral("联系人:"), new QLabel(QStringLiteral("%1 位").arg(cards), this));
    form->addRow(QStringLiteral("没有分组的放入:"), Cgroup);
    auto* note =
        new QLabel(QStringLiteral("名片里写明分组(CATEGORIES)的联系人放入同名的分组,没有这个分组时新建。"), this);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons(this, QStringLiteral("导入")));
    setMinimumWidth(360);
}

QString Frm_import::chosenGroup() const {
    return Cgroup->currentData().toString();
}

Frm_export::Frm_export(const QString& groupName, int shownRows, QWidget* owner)
    : QDialog(owner), all_(new QRadioButton(QStringLiteral("全部联系人"), this)), group_(new QRadioButton(this)),
      shown_(new QRadioButton(this)), format_(new QComboBox(this)) {
    setObjectName(QStringLiteral("Frm_export"));
    setWindowTitle(QStringLiteral("导出联系人"));
    group_->setText(groupName.isEmpty() ? QStringLiteral("当前分组(请先在左边选一个分组)")
                                        : QStringLiteral("当前分组: %1").arg(groupName));
    group_->setEnabled(!groupName.isEmpty());
    shown_->setText(QStringLiteral("列表中显示的 %1 位联系人").arg(shownRows));
    shown_->setEnabled(shownRows > 0);
    all_->setChecked(true);
    format_->addItem(QStringLiteral("vCard 3.0 名片 (.vcf)"), int(ExportFormat::VCard30));
    format_->addItem(QStringLiteral("vCard 4.0 名片 (.vcf)"), int(ExportFormat::VCard40));
    format_->addItem(QStringLiteral("CSV 表格, UTF-8 (.csv)"), int(ExportFormat::CsvUtf8));
    format_->addItem(QStringLiteral("CSV 表格, GBK (.csv)"), int(ExportFormat::CsvGbk));
    format_->addItem(QStringLiteral("CSV 表格, GB18030 (.csv)"), int(ExportFormat::CsvGb18030));
    auto* which = new QGroupBox(QStringLiteral("导出哪些联系人"), this);
    auto* whichLayout = new QVBoxLayout(which);
    whichLayout->addWidget(all_);
    whichLayout->addWidget(group_);
    whichLayout->addWidget(shown_);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("格式:"), format_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(which);
    layout->addLayout(form);
    layout->addWidget(buttons(this, QStringLiteral("导出...")));
}

ExportSelection::Kind Frm_export::chosenKind() const {
    if (group_->isChecked())
        return ExportSelection::Kind::Group;
    if (shown_->isChecked())
        return ExportSelection::Kind::Keys;
    return ExportSelection::Kind::All;
}

ExportFormat Frm_export::chosenFormat() const {
    return ExportFormat(format_->currentData().toInt());
}

void importContacts(MainView& view, const GroupChooser& chooseGroup) {
    AppState& state = view.state;
    const QString path = state.env.dialogs->openFile(
        view.window, {QStringLiteral("导入联系人"),
                      QStringLiteral("vCard 名片 (*.vcf)|*.vcf|CSV 表格 (*.csv)|*.csv|所有文件 (*)|*")});
    if (path.isEmpty())
        return;
    const ImportBatch batch = Importer::readFile(path);
    if (!batch.error.isEmpty()) {
        tell(view, msg::warning(QStringLiteral("不能读取 %1: %2").arg(path, batch.error)));
        return;
    }
    std::vector<GroupRow> groups;
    try {
        groups = state.Conn->groups();
    } catch (const StoreError& e) {
        tell(view, msg::warning(QStringLiteral("不能读取分组: ") + e.message()));
        return;
    }
    const int cards = static_cast<int>(batch.records.size());
    const QString selected = selectedGroupKey(view);
    std::optional<QString> group;
    if (chooseGroup) {
        group = chooseGroup(path, cards, groups, selected);
    } else {
        Frm_import dialog(path, cards, groups, selected, view.window);
        if (dialog.exec() == QDialog::Accepted)
            group = dialog.chosenGroup();
    }
    if (!group)
        return;

    std::unique_ptr<QProgressDialog> progress;
    if (cards > ProgressFrom) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在导入联系人..."), QStringLiteral("取消"), 0,
                                                     cards, view.window);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
    }
    ImportOptions options;
    options.defaultGroupKey = *group;
    Importer importer(*state.Conn, DataPaths::in(state.env.programDir).data);
    const ImportSummary summary = importer.run(batch, options, [&](int done, int total) {
        if (!progress)
            return true;
        progress->setMaximum(total);
        progress->setValue(done);
        return !progress->wasCanceled();
    });
    progress.reset();

    // The tree and the list are refreshed once, to show everybody with what came in.
    if (summary.imported() > 0) {
        try {
            LoadGroupTree(view);
        } catch (const StoreError& e) {
            tell(view, msg::warning(QStringLiteral("不能读取分组: ") + e.message()));
        }
        view.TV->setCurrentIndex(view.tree->rootIndex());
        state.ListSource = false;
        ListAllContacts(view);
    }
    tell(view, summary.complete() ? msg::info(summary.text()) : msg::warning(summary.text()));
}

void exportContacts(MainView& view, const ExportChooser& choose) {
    AppState& state = view.state;
    const QString groupKey = selectedGroupKey(view);
    const QString groupName = groupKey.isEmpty() ? QString() : view.tree->indexForKey(groupKey).data().toString();
    const int shown = view.list->rowCount();
    std::optional<ExportChoice> choice;
    if (choose) {
        choice = choose(groupName, shown);
    } else {
        Frm_export dialog(groupName, shown, view.window);
        if (dialog.exec() == QDialog::Accepted)
            choice = ExportChoice{dialog.chosenKind(), dialog.chosenFormat()};
    }
    if (!choice)
        return;
    const bool csv = Exporter::isCsv(choice->format);
    QString path = state.env.dialogs->saveFile(
        view.window, {QStringLiteral("导出联系人"),
                      csv ? QStringLiteral("CSV 表格 (*.csv)|*.csv") : QStringLiteral("vCard 名片 (*.vcf)|*.vcf")});
    if (path.isEmpty())
        return;
    const QString suffix = csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;

    ExportSelection selection;
    if (choice->kind == ExportSelection::Kind::Group && !groupKey.isEmpty()) {
        selection = ExportSelection::group(groupKey);
    } else if (choice->kind == ExportSelection::Kind::Keys) {
        QStringList rows;
        for (int row = 0; row < view.list->rowCount(); ++row)
            rows << view.list->keyAt(row);
        selection = ExportSelection::contacts(rows);
    }
    int count = 0;
    QString error;
    if (!Exporter(*state.Conn).exportToFile(path, selection, choice->format, &count, &error)) {
        tell(view, msg::warning(QStringLiteral("导出失败: ") + error));
        return;
    }
    tell(view, msg::info(QStringLiteral("已导出 %1 位联系人到 %2").arg(count).arg(path)));
}
