#pragma once
// The record form's field grid, which the search form repeats: Text1 to Text15 in their order, two
// boxes a row, each with the label at its left (inner blanks included) and the number of characters
// that may be typed into it.
#include <array>

namespace fieldgrid {

struct Box {
    const char16_t* label;
    int maxLength;
};

// The remarks have no limit of their own in the data file; what may be typed or pasted into the box
// at once is capped, so that a pasted megabyte cannot keep the window busy for minutes. A longer
// stored remark is still shown whole (the box grows to hold it).
inline constexpr int RemarksLimit = 65535;

inline constexpr std::array<Box, 15> Boxes{{
    {u"姓    名:", 20},
    {u"生    日:", 10},
    {u"手    机:", 30},
    {u"工作电话:", 30},
    {u"家庭电话:", 30},
    {u"传真号码:", 30},
    {u"地    址:", 200},
    {u"邮政编码:", 20},
    {u"QQ:", 20},
    {u"ICQ:", 20},
    {u"MSN:", 50},
    {u"Email:", 50},
    {u"昵    称:", 30},
    {u"备     注:", RemarksLimit},
    {u"照    片:", 100},
}};

} // namespace fieldgrid
