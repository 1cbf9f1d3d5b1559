#pragma once
// Frm_query: the search form. Every box the user fills becomes one condition (its column contains
// the typed text); the people who meet all of them replace the list's rows, and the search stays
// in QuerySql so that a save later runs it again.
#include "gui/app/MainView.h"
#include "core/rules/SearchBuilder.h"

#include <QDialog>
#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;

class Frm_query : public QDialog {
    Q_OBJECT
public:
    Frm_query(MainView& view, QWidget* parent = nullptr);

    QGroupBox* Frame1() const { return frame_; }
    QLineEdit* Text(int number) const { return boxes_[number - 1]; } // Text1 to Text14
    QPushButton* Command1() const { return search_; }
    QPushButton* Command2() const { return cancel_; }
    search::BoxTexts boxTexts() const;

    // Searches and closes; with no box filled, says so and stays open.
    void Command1_Click();
    // Closes; the list and the search state stay as they were.
    void Command2_Click();

private:
    MainView& view_;
    QGroupBox* frame_;
    std::array<QLineEdit*, search::BoxCount> boxes_{};
    QPushButton* search_;
    QPushButton* cancel_;
};

// Runs QuerySql and puts its people into the list (the contact picture, no row selected); when
// nobody matches, says so over the window messageParent (the main window when none) and keeps the
// list's rows.
void FillSearchResults(MainView& view, QWidget* messageParent = nullptr);

// The toolbar's search: the form, modal over the main window, made afresh for each search.
void openQueryForm(MainView& view);
