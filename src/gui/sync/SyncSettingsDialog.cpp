#include "gui/sync/SyncSettingsDialog.h"

#include "core/app/Messages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

SyncSettingsDialog::SyncSettingsDialog(const SyncAccount& account, int intervalMinutes, const QString& password,
                                       Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), trusted_(account.trustedCertificate), otherHost_(account.otherHost) {
    setWindowTitle(QStringLiteral("同步设置"));
    setObjectName(QStringLiteral("SyncSettings"));
    url_ = new QLineEdit(account.url, this);
    url_->setPlaceholderText(QStringLiteral("https://dav.example.com"));
    url_->setToolTip(QStringLiteral("也可以只填邮件地址的域名（如 example.com），程序会自己找到服务器"));
    // What kind of server, and the two kinds of address it takes.
    auto* about = new QLabel(QStringLiteral("与 CardDAV 通讯录同步（Nextcloud、Radicale、Baïkal 等）。"), this);
    about->setObjectName(QStringLiteral("about"));
    about->setWordWrap(true);
    auto* examples = new QLabel(QStringLiteral("服务器的地址，如 https://dav.example.com\n"
                                               "或通讯录的完整地址，如 https://dav.example.com/addressbooks/zhangsan/contacts/"),
                                this);
    examples->setObjectName(QStringLiteral("examples"));
    examples->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette grey = examples->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::PlaceholderText));
    examples->setPalette(grey);
    user_ = new QLineEdit(account.user, this);
    password_ = new QLineEdit(password, this);
    password_->setEchoMode(QLineEdit::Password);
    books_ = new QComboBox(this);
    if (!account.addressBook.isEmpty())
        books_->addItem(account.addressBook, account.addressBook);
    books_->addItem(QStringLiteral("（自动查找）"), QString());
    interval_ = new QComboBox(this);
    interval_->addItem(QStringLiteral("关闭"), 0);
    interval_->addItem(QStringLiteral("每 15 分钟"), 15);
    interval_->addItem(QStringLiteral("每小时"), 60);
    interval_->setCurrentIndex(std::max(0, interval_->findData(intervalMinutes)));
    test_ = new QPushButton(QStringLiteral("测试连接(&T)"), this);
    result_ = new QLabel(this);
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* conflicts = new QPushButton(QStringLiteral("同步冲突(&C)..."), this);

    auto* form = new QFormLayout;
    auto addRow = [&](const QString& label, QWidget* field, const QString& name) {
        auto* caption = new QLabel(label, this);
        caption->setBuddy(field);
        field->setObjectName(name);
        field->setAccessibleName(QString(label).remove(QStringLiteral("(&")).section(u'(', 0, 0).remove(u'：'));
        form->addRow(caption, field);
    };
    addRow(QStringLiteral("服务器地址(&S)："), url_, QStringLiteral("url"));
    form->addRow(QString(), examples);
    addRow(QStringLiteral("用户名(&U)："), user_, QStringLiteral("user"));
    addRow(QStringLiteral("密码(&P)："), password_, QStringLiteral("password"));
    addRow(QStringLiteral("通讯录(&A)："), books_, QStringLiteral("book"));
    addRow(QStringLiteral("自动同步(&I)："), interval_, QStringLiteral("interval"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    auto* row = new QHBoxLayout;
    row->addWidget(test_);
    row->addWidget(conflicts);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addLayout(form);
    layout->addLayout(row);
    layout->addWidget(result_);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(test_, &QPushButton::clicked, this, &SyncSettingsDialog::testConnection);
    connect(conflicts, &QPushButton::clicked, this, &SyncSettingsDialog::conflictsRequested);
}

SyncSettingsDialog::~SyncSettingsDialog() {
    if (thread_)
        thread_->wait();
}

SyncAccount SyncSettingsDialog::account() const {
    SyncAccount account;
    account.url = url_->text().trimmed();
    account.user = user_->text().trimmed();
    account.addressBook = books_->currentData().toString();
    account.trustedCertificate = trusted_;
    account.otherHost = otherHost_;
    return account;
}

QString SyncSettingsDialog::password() const {
    return password_->text();
}

int SyncSettingsDialog::intervalMinutes() const {
    return interval_->currentData().toInt();
}

QString SyncSettingsDialog::resultText() const {
    return result_->text();
}

bool SyncSettingsDialog::testing() const {
    return thread_ && thread_->isRunning();
}

void SyncSettingsDialog::testConnection() {
    if (testing())
        return;
    if (thread_)
        thread_->wait();
    const QUrl start = startUrl(url_->text());
    if (!start.isValid() || start.host().isEmpty()) {
        result_->setText(QStringLiteral("请填写服务器地址。"));
        emit testFinished();
        return;
    }
    test_->setEnabled(false);
    result_->setText(QStringLiteral("正在连接 %1 …").arg(start.toDisplayString()));
    const QString user = user_->text().trimmed();
    const QString password = password_->text();
    const QString trusted = trusted_;
    const QString allowed = otherHost_;
    thread_.reset(QThread::create([this, start, user, password, trusted, allowed] {
        std::vector<AddressBookInfo> books;
        QString error;
        QString otherHost;
        DavClient client(user, password, trusted);
        client.setHome(start);
        client.allowHost(allowed);
        try {
            books = discoverAddressBooks(client, start);
        } catch (const DavError& e) {
            error = e.message();
            if (e.kind() == DavError::Kind::OtherHost)
                otherHost = e.url().host();
        }
        const QString refused = client.refusedFingerprint();
        QMetaObject::invokeMethod(
            this, [this, books, error, refused, otherHost] { showResult(books, error, refused, otherHost); },
            Qt::QueuedConnection);
    }));
    thread_->start();
}

void SyncSettingsDialog::showResult(const std::vector<AddressBookInfo>& books, const QString& error,
                                    const QString& refused, const QString& otherHost) {
    test_->setEnabled(true);
    if (!error.isEmpty()) {
        result_->setText(QStringLiteral("连接失败：%1").arg(error));
        if (!otherHost.isEmpty()) {
            // The discovery led to another host: the password goes there only with the user's yes.
            const Message question = msg::confirm(otherHostQuestion(otherHost, url_->text()));
            if (dialogs_.show(this, question) == MsgAnswer::Yes) {
                otherHost_ = otherHost;
                emit testFinished();
                testConnection();
                return;
            }
        }
        if (!refused.isEmpty() && refused != trusted_) {
            const Message question{
                QStringLiteral("服务器的证书不受信任。\n\nSHA-256 指纹：\n%1\n\n只有在确认这是你自己的服务器时才信任它。要信任这个证书吗？")
                    .arg(refused),
                QStringLiteral("证书"), MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::No};
            if (dialogs_.show(this, question) == MsgAnswer::Yes) {
                trusted_ = refused;
                emit testFinished();
                testConnection();
                return;
            }
        }
        emit testFinished();
        return;
    }
    const QString chosen = books_->currentData().toString();
    books_->clear();
    QStringList lines;
    for (const AddressBookInfo& book : books) {
        const QString url = book.url.toString();
        books_->addItem(book.name.isEmpty() ? url : QStringLiteral("%1 (%2)").arg(book.name, url), url);
        lines.append(QStringLiteral("· %1%2").arg(book.name.isEmpty() ? url : book.name,
                                                  book.syncCollection ? QStringLiteral("（支持增量同步）") : QString()));
    }
    const int again = books_->findData(chosen);
    books_->setCurrentIndex(again >= 0 ? again : 0);
    result_->setText(QStringLiteral("连接成功，找到 %1 个通讯录：\n%2").arg(books.size()).arg(lines.join(u'\n')));
    emit testFinished();
}
