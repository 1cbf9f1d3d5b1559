#include "Messages.h"

namespace msg {
Message plain(const QString& text) {
    return {text, {}, MsgIcon::None, MsgButtons::Ok, MsgAnswer::Ok};
}
Message stop(const QString& text) {
    return {text, {}, MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok};
}
Message info(const QString& text) {
    return {text, {}, MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok};
}
Message warning(const QString& text) {
    return {text, {}, MsgIcon::Warning, MsgButtons::Ok, MsgAnswer::Ok};
}
Message confirm(const QString& text) {
    return {text, QStringLiteral("确认"), MsgIcon::None, MsgButtons::YesNo, MsgAnswer::No};
}
} // namespace msg
