#pragma once
// Frm_query: the search form. Every box the user fills becomes one condition (its column contains
// the typed text); the people who meet all of them replace the list's rows, and the search stays
// in QuerySql so that a save later runs it again.
#include "core/rules/SearchBuilder.h"

#include <QDialog>
#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;

// What the search form needs from the window that opens it.
class QueryFormHost {
public:
    virtual ~QueryFormHost() = default;
    // Runs the search and shows its people; false when it was refused (no box filled). Messages
    // stand over `form`.
    virtual bool searchFromForm(QWidget* form, const Query& query) = 0;
};

class Frm_query : public QDialog {
    Q_OBJECT
public:
    Frm_query(QueryFormHost& host, QWidget* parent = nullptr);

    QGroupBox* Frame1() const { return frame_; }
    QLineEdit* Text(int number) const { return boxes_[number - 1]; } // Text1 to Text14
    // The boxes after them: 单位, 职务, 微信 (search::ValueBoxFields).
    QLineEdit* valueBox(int index) const { return boxes_[search::BoxCount + index]; }
    QPushButton* Command1() const { return search_; }
    QPushButton* Command2() const { return cancel_; }
    search::BoxTexts boxTexts() const;

    // Searches and closes; with no box filled, says so and stays open.
    void Command1_Click();
    // Closes; the list and the search state stay as they were.
    void Command2_Click();

private:
    QueryFormHost& host_;
    QGroupBox* frame_;
    std::array<QLineEdit*, search::AllBoxCount> boxes_{};
    QPushButton* search_;
    QPushButton* cancel_;
};
