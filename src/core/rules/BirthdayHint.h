#pragma once
// What the record form says beside the birthday box while the user types: text that will be
// stored as no birthday is pointed out before the save, not found missing afterwards.
#include <QString>

enum class BirthdayHint {
    None,       // empty, or a date that will be stored
    NotADate,   // text that is no date: it is stored as no birthday
    LunarUnticked, // a lunar date typed without ticking 农历
};

// `lunar`: the 农历 box is ticked.
BirthdayHint birthdayHint(const QString& typed, bool lunar);
// The hint's words beside the box, short enough to leave the box its room; empty for
// BirthdayHint::None. The detail says the same in a sentence (the hint's tooltip, and what a
// screen reader reads for the box).
QString birthdayHintText(BirthdayHint hint);
QString birthdayHintDetail(BirthdayHint hint);
