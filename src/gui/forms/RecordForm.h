#pragma once
// frm_detail, the record form: every field of one person, the person's group and photo. A form is
// opened either for a new person (add) or for the person in CurrentContactId (update) and keeps
// that mode until it closes, so that a form for a new person left open beside the main window and
// a form opened meanwhile to edit somebody never save into each other.
#include "gui/app/MainView.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
struct ContactFields;

class frm_detail : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Update };

    // Owned by the main window (view.window); the load step (Form_Load) runs here.
    frm_detail(MainView& view, Mode mode);

    Mode mode() const { return mode_; }

    // The update mode's opening: every box, the group and the photo from the stored person. A photo
    // that cannot be loaded leaves the placeholder without a word: the file may simply have moved.
    void showContact(const ContactFields& fields);

    // "savebutt": save, refresh the tree and the list, close. "closebutt": close, writing nothing.
    void Toolbar1_ButtonClick(const QString& key);
    // Writes the person. False when the save was refused (no name, no group) or the data file
    // refused it; the user has been told, nothing was written and every box keeps what was typed.
    bool SaveContact();
    // The photo button: pick a picture file, put its path into Text15 and show it.
    void Command1_Click();

    // Every way the form closes passes here: EditFlag then tells whether a form for a new person
    // is still open.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void Form_Load();
    bool Text2_KeyPress(const QKeyEvent& event) const;
    bool showPhoto(const QString& path);
    void setBoxText(QLineEdit* box, const QString& text);
    void lunarBox_Toggled(bool lunar);
    ContactFields typedFields() const;
    void refreshAfterSave();
    bool anotherNewContactFormOpen() const;

    MainView& view_;
    const Mode mode_;
    QComboBox* Cgroup_ = nullptr;
    std::array<QLineEdit*, 15> Text_{};
    QCheckBox* lunarBox_ = nullptr; // "农历": the birthday box holds a lunar date
    QPushButton* Command1_ = nullptr;
    QLabel* Image1_ = nullptr;
};
