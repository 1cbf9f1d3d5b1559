#pragma once
// "其它资料": what a person's imported card held beyond the record form's fields, read-only. The
// export writes it back; nothing here changes it.
#include "core/store/KeptProperties.h"

#include <QDialog>
#include <vector>

class QTableWidget;

class Frm_kept : public QDialog {
    Q_OBJECT
public:
    // The typed values first (beyond the form's boxes), then what no field knows.
    Frm_kept(const QString& name, const std::vector<KeptProperty>& rows, QWidget* owner,
             const std::vector<TypedValue>& values = {});
    QTableWidget* table() const { return table_; }

private:
    QTableWidget* table_ = nullptr;
};
