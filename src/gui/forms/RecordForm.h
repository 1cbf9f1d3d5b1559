#pragma once
// frm_detail, the record form: every field of one person, the person's group and photo. It takes
// the person's fields and key in and gives the edited fields out; the main window saves them and
// decides what the tree and the list show. A form is opened either for a new person (add) or for
// the person whose key it captured when it opened (update) and keeps that until it closes, so that
// a form for a new person left open beside the main window and a form opened meanwhile to edit
// somebody never save into each other.
#include "core/store/ContactFields.h"
#include "core/store/KeptProperties.h"

#include <QDialog>
#include <array>
#include <optional>
#include <vector>

class Dialogs;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class ValuePanel;

// What a record form needs from the window that opens it.
class RecordFormHost {
public:
    virtual ~RecordFormHost() = default;
    virtual QWidget* formOwner() = 0;
    virtual Dialogs& formDialogs() = 0;
    // The groups for the group choice, in table order; a failure has been told over `form`.
    virtual std::vector<GroupRow> formGroups(QWidget* form) = 0;
    // The key an update form captures when it opens.
    virtual QString formContactKey() = 0;
    // Saves the fields (no key: a new person) and refreshes the window; false when nothing was
    // written (the user has been told over `form`).
    virtual bool saveFromForm(QWidget* form, const std::optional<QString>& key, const ContactFields& fields) = 0;
    // A form closed; newContactFormsOpen tells whether a form for a new person is still open.
    virtual void recordFormClosed(bool newContactFormsOpen) = 0;
    // What the person's imported card held beyond the fields ("其它资料"), read-only; none by default.
    virtual std::vector<KeptProperty> formKeptProperties(QWidget* /*form*/, const QString& /*key*/) { return {}; }
};

class frm_detail : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Update };

    // Owned by host.formOwner(); the load step (Form_Load) runs here. An update form captures the
    // key of the person it is for now.
    frm_detail(RecordFormHost& host, Mode mode);

    Mode mode() const { return mode_; }
    const std::optional<QString>& contactKey() const { return key_; }

    // The update mode's opening: every box, the group and the photo from the stored person. A photo
    // that cannot be loaded leaves the placeholder without a word: the file may simply have moved.
    void showContact(const ContactFields& fields);
    // What the boxes hold, as the save writes it.
    ContactFields typedFields() const;

    // "savebutt": save (the window refreshes), close. "closebutt": close, writing nothing.
    void Toolbar1_ButtonClick(const QString& key);
    // Checks and saves. False when the save was refused (no name, no group) or the data file
    // refused it; the user has been told, nothing was written and every box keeps what was typed.
    bool SaveContact();
    // The photo button: pick a picture file, put its path into Text15 and show it.
    void Command1_Click();
    // "其它资料": the kept properties of the person's imported card, read-only.
    void showKept();

    // Every way the form closes passes here, so that EditFlag tells whether a form for a new
    // person is still open.
    void done(int result) override;
    // Esc, 关闭 and the close box: a form holding unsaved changes first asks whether to save them.
    void reject() override;
    // True when the boxes, the group or the photo differ from what the form opened with.
    bool hasUnsavedChanges() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void Form_Load();
    bool Text2_KeyPress(const QKeyEvent& event) const;
    // Shows a picture file scaled into the photo area; false (and the placeholder) when it is no
    // regular file, no picture, or more than PhotoPixelLimit pixels.
    bool showPhoto(const QString& path);
    static constexpr qint64 PhotoPixelLimit = 100'000'000;
    static constexpr int PhotoAllocationLimitMb = 256;
    void setBoxText(QLineEdit* box, const QString& text);
    void lunarBox_Toggled(bool lunar);
    // The hint beside the birthday box says again whether its text will be stored.
    void updateBirthdayHint();
    bool anotherNewContactFormOpen() const;
    // The box of valuelists::columnKinds()[kind] (Text3 for 移动电话 ...).
    QLineEdit* columnBox(size_t kind) const;
    void chainTabOrder();
    // The lists changed: each box shows the first value of its kind again.
    void columnsFromRows();

    RecordFormHost& host_;
    ContactFields opened_;
    QString openedBirthday_;
    std::vector<QWidget*> toolbarFaces_; // what the boxes held when the form opened, for the unsaved-changes question
    const Mode mode_;
    std::optional<QString> key_;
    QComboBox* Cgroup_ = nullptr;
    std::array<QLineEdit*, 15> Text_{};
    QCheckBox* lunarBox_ = nullptr; // "农历": the birthday box holds a lunar date
    QLabel* birthdayHint_ = nullptr; // beside it: text that would be stored as no birthday
    QPushButton* Command1_ = nullptr;
    QLabel* Image1_ = nullptr;
    QToolButton* Kept_ = nullptr;
    std::vector<KeptProperty> kept_;
    ValuePanel* values_ = nullptr; // 更多资料: the lists below the photo
    bool followingRows_ = false;   // a box takes a row's value: no edit of the row again
};
