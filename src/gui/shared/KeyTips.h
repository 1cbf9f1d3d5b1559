#pragma once
// A control's tooltip names the keys that do the same ("保存资料 (Ctrl+S)"), so that the keyboard's
// way is learnt where the mouse points. The keys are added when the tooltip shows: toolTip() stays
// the control's own text.
#include <QApplication>
#include <QHelpEvent>
#include <QKeySequence>
#include <QToolTip>
#include <QWidget>

namespace keytips {

inline QString shown(const QString& tip, const QKeySequence& keys) {
    if (keys.isEmpty() || tip.isEmpty())
        return tip;
    return tip + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

namespace detail {
inline const char* const Property = "zintevaKeyTip";

class Filter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        const QKeySequence keys = watched->property(Property).value<QKeySequence>();
        if (!widget || keys.isEmpty() || widget->toolTip().isEmpty())
            return false;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), shown(widget->toolTip(), keys), widget);
        return true;
    }
};
} // namespace detail

// The widget's tooltip shows these keys after its text.
inline void add(QWidget* widget, const QKeySequence& keys) {
    static detail::Filter* filter = new detail::Filter(qApp);
    widget->setProperty(detail::Property, QVariant::fromValue(keys));
    widget->installEventFilter(filter);
}

} // namespace keytips
