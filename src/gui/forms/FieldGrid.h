#pragma once
// The record form's field grid, which the search form repeats: Text1 to Text15 in their order, two
// boxes a row, each with the label at its left (inner blanks included) and the field it holds. How
// many characters a box takes is the field's limit in the catalogue, counted as the catalogue counts
// (code points: a character outside the BMP is one, as the user sees it).
#include "core/store/FieldCatalogue.h"

#include <QLineEdit>
#include <QValidator>
#include <array>

namespace fieldgrid {

struct Box {
    const char16_t* label;
    catalogue::Field field;
};

// The remarks have no limit of their own in the data file; what may be typed or pasted into the box
// at once is capped, so that a pasted megabyte cannot keep the window busy for minutes. A longer
// stored remark is still shown whole (the box grows to hold it).
inline constexpr int RemarksLimit = 65535;

inline constexpr std::array<Box, 15> Boxes{{
    {u"姓    名:", catalogue::Field::Name},
    {u"生    日:", catalogue::Field::Birthday},
    {u"手    机:", catalogue::Field::Mobile},
    {u"工作电话:", catalogue::Field::WorkPhone},
    {u"家庭电话:", catalogue::Field::HomePhone},
    {u"传真号码:", catalogue::Field::Fax},
    {u"地    址:", catalogue::Field::Address},
    {u"邮政编码:", catalogue::Field::Postcode},
    {u"QQ:", catalogue::Field::Qq},
    {u"ICQ:", catalogue::Field::Icq},
    {u"MSN:", catalogue::Field::Msn},
    {u"Email:", catalogue::Field::Email},
    {u"昵    称:", catalogue::Field::Nickname},
    {u"备     注:", catalogue::Field::Remarks},
    {u"照    片:", catalogue::Field::Photo},
}};

// The characters box i takes.
inline int limitOf(size_t i) {
    const int limit = catalogue::info(Boxes[i].field).limit;
    return limit > 0 ? limit : RemarksLimit;
}

// Keeps a box's text within a number of characters: what is typed or pasted beyond is cut, as a
// box's own maximum length would cut it, but counting characters, not UTF-16 units.
class CharacterLimit : public QValidator {
public:
    CharacterLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    int limit() const { return limit_; }
    void setLimit(int limit) { limit_ = limit; }
    State validate(QString& input, int& pos) const override {
        if (catalogue::characters(input) > limit_) {
            input = catalogue::cut(input, limit_);
            pos = std::min(pos, static_cast<int>(input.size()));
        }
        return Acceptable;
    }

private:
    int limit_;
};

// Limits a box to `limit` characters (a surrogate pair takes two of the box's own units).
inline void limitBox(QLineEdit* box, int limit) {
    auto* validator = box->findChild<CharacterLimit*>(QString(), Qt::FindDirectChildrenOnly);
    if (!validator) {
        validator = new CharacterLimit(limit, box);
        box->setValidator(validator);
    }
    validator->setLimit(limit);
    box->setMaxLength(std::max(2 * limit, 1));
}
// The characters a box takes now.
inline int boxLimit(const QLineEdit* box) {
    const auto* validator = box->findChild<CharacterLimit*>(QString(), Qt::FindDirectChildrenOnly);
    return validator ? validator->limit() : box->maxLength();
}

} // namespace fieldgrid
