// Assistive technology reads every window through accessible names: no button, box or list of
// any window may be nameless.
#include "core/store/ContactFields.h"
#include "gui/app/MainWindow.h"
#include "gui/forms/AboutBox.h"
#include "gui/forms/ConfigDialog.h"
#include "gui/forms/ExchangeForms.h"
#include "gui/forms/QueryForm.h"
#include "gui/forms/RecordForm.h"
#include "gui/forms/SystemServices.h"
#include "core/store/Store.h"
#include "support/Fixture.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace {
QStringList namelessControls(QWidget* window) {
    QStringList nameless;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w);
        // Parts of a composite control (a combo box's own line edit or list) are named by it.
        if (!control || !w->isVisibleTo(window) || qobject_cast<QComboBox*>(w->parentWidget()))
            continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            nameless << QString("%1 %2").arg(w->metaObject()->className(), w->objectName());
    }
    return nameless;
}
} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void everyControlHasAName() {
        Fixture fx;
        const QString g = fx.addGroup("同学");
        fx.addContact(g, "张三");
        Frm_main& w = fx.window();
        w.show();
        DesktopSystemServices services;
        std::vector<std::unique_ptr<QWidget>> windows;
        windows.emplace_back(new frm_detail(w.view(), frm_detail::Mode::Add));
        windows.emplace_back(new Frm_query(w.view(), &w));
        windows.emplace_back(new Frm_config(fx.state, &w));
        windows.emplace_back(new Frm_about(fx.state, services, &w));
        windows.emplace_back(new Frm_import("a.vcf", 3, fx.state.Conn->groups(), g, &w));
        windows.emplace_back(new Frm_export("同学", 1, &w));
        QVERIFY2(namelessControls(&w).isEmpty(), qPrintable(namelessControls(&w).join(", ")));
        for (const auto& window : windows) {
            window->show();
            QVERIFY2(namelessControls(window.get()).isEmpty(),
                     qPrintable(window->objectName() + ": " + namelessControls(window.get()).join(", ")));
        }
        fx.state.EditFlag = false;
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
