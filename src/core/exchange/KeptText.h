#pragma once
// Kept properties as the user reads them: a label in Chinese where the property is a common one
// ("单位", "职务", "电话 (WORK)") and its value with the card's escapes undone.
#include "core/store/ContactFields.h"
#include "core/store/KeptProperties.h"

#include <QString>

namespace kepttext {

struct Shown {
    QString label;
    QString text;
};

Shown describe(const KeptProperty& property);
// A typed value: the field's label with the value's own ("电话（手机）"), an address in Chinese order
// (country, province, city, street, then the postcode).
Shown describe(const TypedValue& value);

} // namespace kepttext
