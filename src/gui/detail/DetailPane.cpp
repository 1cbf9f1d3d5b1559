#include "gui/detail/DetailPane.h"

#include "core/exchange/KeptText.h"
#include "core/rules/BirthdayCountdown.h"
#include "core/store/FieldCatalogue.h"
#include "core/text/LunarDate.h"
#include "core/text/TypedDate.h"
#include "gui/shared/PhotoFile.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QSize PhotoBox(120, 120);

// A web page is a link only for the web's own schemes: a file: or javascript: address stays text.
bool isWebAddress(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty();
}

} // namespace

DetailPane::DetailPane(Loader load, Today today, QWidget* parent)
    : QScrollArea(parent), load_(std::move(load)), today_(std::move(today)), body_(new QWidget(this)),
      photo_(new QLabel(body_)), name_(new QLabel(body_)), grid_(new QGridLayout) {
    setObjectName(QStringLiteral("DetailPane"));
    setAccessibleName(QStringLiteral("联系人详细资料"));
    setWidgetResizable(true);
    // A narrow pane cuts a long value (its tooltip has it whole) rather than hiding the copy buttons
    // beyond a scroll bar.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(body_);
    photo_->setObjectName(QStringLiteral("DetailPhoto"));
    photo_->setAccessibleName(QStringLiteral("照片"));
    photo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(photo_);
    name_->setObjectName(QStringLiteral("DetailName"));
    name_->setTextFormat(Qt::PlainText);
    name_->setWordWrap(true);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = name_->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.3);
    name_->setFont(large);
    layout->addWidget(name_);
    grid_->setColumnStretch(1, 1);
    grid_->setHorizontalSpacing(8);
    layout->addLayout(grid_);
    layout->addStretch(1);
    setWidget(body_);
    showContact(QString());
}

void DetailPane::clearLines() {
    while (QLayoutItem* item = grid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    lines_.clear();
    copies_.clear();
}

void DetailPane::addLine(const QString& label, const QString& text, Kind kind) {
    if (text.trimmed().isEmpty())
        return;
    const int row = static_cast<int>(lines_.size());
    auto* caption = new QLabel(label, body_);
    caption->setTextFormat(Qt::PlainText);
    caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
    caption->setForegroundRole(QPalette::PlaceholderText);
    auto* value = new QLabel(body_);
    value->setWordWrap(true);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (kind == Kind::Mail || (kind == Kind::Link && isWebAddress(text))) {
        // What a card says is never taken as markup: the address goes into the link escaped.
        QUrl target = kind == Kind::Mail ? QUrl(QStringLiteral("mailto:") + text.trimmed()) : QUrl(text.trimmed());
        value->setTextFormat(Qt::RichText);
        value->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(QString::fromLatin1(target.toEncoded()).toHtmlEscaped(), text.toHtmlEscaped()));
        value->setOpenExternalLinks(true);
        value->setTextInteractionFlags(value->textInteractionFlags() | Qt::LinksAccessibleByMouse |
                                       Qt::LinksAccessibleByKeyboard);
    } else {
        value->setTextFormat(Qt::PlainText);
        value->setText(text);
    }
    value->setAccessibleName(label);
    value->setMinimumWidth(40);
    value->setToolTip(text);
    caption->setBuddy(value);
    grid_->addWidget(caption, row, 0);
    grid_->addWidget(value, row, 1);
    QToolButton* copy = nullptr;
    if (kind != Kind::Plain) {
        copy = new QToolButton(body_);
        copy->setText(QStringLiteral("复制"));
        copy->setAccessibleName(QStringLiteral("复制") + label);
        copy->setToolTip(QStringLiteral("把%1复制到剪贴板").arg(label));
        copy->setAutoRaise(true);
        connect(copy, &QToolButton::clicked, this, [text] { QGuiApplication::clipboard()->setText(text.trimmed()); });
        grid_->addWidget(copy, row, 2, Qt::AlignTop);
    }
    lines_ << label + u'\t' + text;
    copies_.push_back(copy);
}

void DetailPane::showPhoto(const QString& path) {
    const qreal ratio = devicePixelRatioF();
    QImage picture = path.isEmpty() ? QImage() : photofile::read(path, PhotoBox * ratio);
    photo_->setVisible(!picture.isNull());
    if (picture.isNull()) {
        photo_->clear();
        return;
    }
    QPixmap shown = QPixmap::fromImage(std::move(picture));
    shown.setDevicePixelRatio(ratio);
    photo_->setPixmap(shown);
}

void DetailPane::showContact(const QString& key) {
    std::optional<ContactFields> person = key.isEmpty() ? std::nullopt : load_(key);
    key_ = person ? key : QString();
    clearLines();
    if (!person) {
        showPhoto(QString());
        name_->setText(QStringLiteral("选中一个联系人,这里显示他的全部资料。"));
        name_->setFont(font());
        return;
    }
    const ContactFields& f = *person;
    QFont large = font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.3);
    name_->setFont(large);
    name_->setText(f.name);
    showPhoto(f.photo);

    auto typed = [&](std::initializer_list<catalogue::Field> fields, Kind kind) {
        for (const TypedValue& value : f.values) {
            if (std::find(fields.begin(), fields.end(), value.field) == fields.end())
                continue;
            const kepttext::Shown shown = kepttext::describe(value);
            addLine(shown.label, shown.text, kind);
        }
    };
    using catalogue::Field;
    addLine(QStringLiteral("昵称"), f.nickname, Kind::Plain);
    addLine(QStringLiteral("移动电话"), f.mobile, Kind::Copy);
    addLine(QStringLiteral("工作电话"), f.workPhone, Kind::Copy);
    addLine(QStringLiteral("家庭电话"), f.homePhone, Kind::Copy);
    addLine(QStringLiteral("传真号码"), f.fax, Kind::Copy);
    typed({Field::Phone}, Kind::Copy);
    addLine(QStringLiteral("邮件地址"), f.email, Kind::Mail);
    typed({Field::OtherEmail}, Kind::Mail);
    typed({Field::WeChat}, Kind::Copy);
    addLine(QStringLiteral("QQ号码"), f.qq, Kind::Copy);
    addLine(QStringLiteral("ICQ号码"), f.icq, Kind::Copy);
    addLine(QStringLiteral("MSN"), f.msn, Kind::Copy);
    typed({Field::Im}, Kind::Copy);

    // The birthday in the calendar it is kept in, the other calendar's day beside it, and the next one.
    if (f.lunarBirthday && f.lunarBirthday->isValid()) {
        addLine(QStringLiteral("农历生日"), lunarBirthdayText(*f.lunarBirthday), Kind::Plain);
        if (f.birthday)
            addLine(QStringLiteral("公历生日"), birthdayText(*f.birthday), Kind::Plain);
    } else if (f.birthday) {
        addLine(QStringLiteral("生日"), birthdayText(*f.birthday), Kind::Plain);
    }
    const QDate today = today_();
    if (const std::optional<BirthdayCountdown> next = birthdayCountdown(today, {f.birthday, f.lunarBirthday})) {
        QString text = birthdayText(today.addDays(next->daysLeft)) + QStringLiteral(" (") + daysLeftText(next->daysLeft);
        if (next->age)
            text += QStringLiteral(",满 ") + ageText(next->age);
        addLine(QStringLiteral("下次生日"), text + u')', Kind::Plain);
    }

    addLine(QStringLiteral("地址"), f.address, Kind::Copy);
    addLine(QStringLiteral("邮政编码"), f.postcode, Kind::Copy);
    typed({Field::OtherAddress}, Kind::Copy);
    typed({Field::Organization, Field::Title, Field::Role}, Kind::Plain);
    typed({Field::Url}, Kind::Link);
    typed({Field::Anniversary, Field::Related, Field::Gender}, Kind::Plain);
    addLine(QStringLiteral("备注"), f.remarks, Kind::Plain);
}

QStringList DetailPane::shownLines() const {
    return lines_;
}

QToolButton* DetailPane::copyButton(int line) const {
    return line >= 0 && line < static_cast<int>(copies_.size()) ? copies_[static_cast<size_t>(line)] : nullptr;
}
