#include "gui/forms/AboutBox.h"

#include "core/app/Settings.h"
#include "gui/forms/ClickableLabel.h"
#include "gui/forms/SystemServices.h"
#include "core/rules/AppState.h"
#include "core/app/Messages.h"
#include "gui/shared/Pictures.h"
#include "core/app/DataFolder.h"
#include "core/app/Version.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString SysInfoUnavailable = QStringLiteral("此时系统信息不可用");

QString browserFailure() {
    return QStringLiteral("不能够启动你电脑上的浏览器，请手动启动！") + QStringLiteral("\r\n") +
           QStringLiteral("他的网址是:") + about::HomePage;
}

// The title is set in 宋体; where that font is missing (most Linux desktops) a Song-style CJK font
// takes its place, then any CJK font, so the title never falls back to boxes.
QFont titleFont(const QFont& base) {
    QFont font = base;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setStyleHint(QFont::Serif);
    font.setPointSize(18);
    return font;
}

QLabel* namedLabel(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    return label;
}
} // namespace

Frm_about::Frm_about(AppState& state, SystemServices& services, QWidget* parent)
    : QDialog(parent), state_(state), services_(services) {
    setObjectName(QStringLiteral("Frm_about"));
    setWindowTitle(QStringLiteral("关于zinteva"));
    setWindowIcon(pictures::application());

    QLabel* picIcon = namedLabel("picIcon", {});
    picIcon->setPixmap(pictures::application().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    picIcon->setAccessibleName(QStringLiteral("zinteva图标"));

    QLabel* lblTitle = namedLabel("lblTitle", QStringLiteral("我的zinteva"));
    lblTitle->setFont(titleFont(font()));

    auto* label1 = new ClickableLabel(QStringLiteral("觉得好用吗？点这里，我去看一下看他的主页呀"));
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setToolTip(about::HomePage);
    label1->setAccessibleDescription(QStringLiteral("在浏览器中打开主页 ") + about::HomePage);
    connect(label1, &ClickableLabel::clicked, this, &Frm_about::Label1_Click);

    QLabel* lblDisclaimer = namedLabel(
        "lblDisclaimer",
        QStringLiteral("警告：本程序按“原样”提供，不附带任何明示或暗示的担保。联系人资料保存在下面所说的数据文件中，"
                       "每次正常退出时会自动备份一份，但仍请定期把它另行备份；因使用本程序造成的任何资料损失，"
                       "作者概不负责。"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setFixedWidth(300);
    lblDisclaimer->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    QLabel* lblVersion = namedLabel("lblVersion", QStringLiteral("版本 %1").arg(QLatin1String(zinteva::Version)));
    QLabel* lblDataFolder =
        namedLabel("lblDataFolder", DataFolder{state.env.programDir, DataFolder::Kind::Named}.whereText());
    lblDataFolder->setWordWrap(true);
    lblDataFolder->setFixedWidth(300);
    lblDataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* line1 = new QFrame;
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken); // the etched look: a dark line over a light one

    auto* cmdOK = new QPushButton(QStringLiteral("确定"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* cmdSysInfo = new QPushButton(QStringLiteral("系统信息(&S)..."));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    connect(cmdSysInfo, &QPushButton::clicked, this, &Frm_about::StartSysInfo);

    auto* titles = new QVBoxLayout;
    titles->addWidget(lblTitle);
    titles->addWidget(lblVersion);
    titles->addWidget(label1, 0, Qt::AlignLeft);
    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(picIcon);
    top->addLayout(titles);
    top->addStretch();

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(14);
    auto* texts = new QVBoxLayout;
    texts->addWidget(lblDisclaimer);
    texts->addWidget(lblDataFolder);
    bottom->addLayout(texts);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line1);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    cmdOK->setFocus();
}

QString Frm_about::sysInfoPath() const {
    // A program chosen by the user comes first and is tried as it is, even if it is not there now:
    // starting it is what tells whether it can be started.
    const QString chosen = state_.env.settings->text(setting::SysInfo);
    if (!chosen.isEmpty())
        return chosen;
    for (const QString& name : about::SysInfoPrograms) {
        const QString found = services_.findInPath(name);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

void Frm_about::StartSysInfo() {
    const QString path = sysInfoPath();
    if (path.isEmpty() || !services_.startProgram(path))
        state_.env.dialogs->show(this, msg::plain(SysInfoUnavailable));
}

void Frm_about::Label1_Click() {
    if (!services_.openUrl(QUrl(about::HomePage)))
        state_.env.dialogs->show(this, msg::warning(browserFailure()));
}

void openAboutBox(AppState& state, QWidget* owner) {
    DesktopSystemServices services;
    Frm_about dialog(state, services, owner);
    state.env.dialogs->openForm(dialog);
}
