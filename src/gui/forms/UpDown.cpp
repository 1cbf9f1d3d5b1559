#include "gui/forms/UpDown.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

namespace {
QToolButton* arrowButton(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true); // held down, it keeps stepping like any spin control
    button->setFocusPolicy(Qt::NoFocus);
    button->setAccessibleName(name);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setFixedWidth(18);
    return button;
}
} // namespace

UpDown::UpDown(QWidget* parent)
    : QWidget(parent), up_(arrowButton(Qt::UpArrow, QStringLiteral("增加"), this)),
      down_(arrowButton(Qt::DownArrow, QStringLiteral("减少"), this)) {
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(up_);
    column->addWidget(down_);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    enableArrows();
}

void UpDown::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
    enableArrows();
}

void UpDown::setSingleStep(int step) {
    step_ = std::max(1, step);
}

void UpDown::setValue(int value) {
    const int clamped = std::clamp(value, minimum_, maximum_);
    if (clamped == value_)
        return;
    value_ = clamped;
    enableArrows();
    emit valueChanged(value_);
}

void UpDown::stepBy(int steps) {
    // Computed wide, so that a large step near the end of int's range cannot overflow.
    const long long target = static_cast<long long>(value_) + static_cast<long long>(steps) * step_;
    setValue(static_cast<int>(std::clamp<long long>(target, minimum_, maximum_)));
}

void UpDown::setToolTip(const QString& tip) {
    QWidget::setToolTip(tip);
    up_->setToolTip(tip);
    down_->setToolTip(tip);
}

void UpDown::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        break;
    case Qt::Key_Down:
        stepBy(-1);
        break;
    case Qt::Key_Home:
        setValue(minimum_);
        break;
    case Qt::Key_End:
        setValue(maximum_);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void UpDown::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        stepBy(notches);
    event->accept();
}

void UpDown::enableArrows() {
    up_->setEnabled(value_ < maximum_);
    down_->setEnabled(value_ > minimum_);
}
