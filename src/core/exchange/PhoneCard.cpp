#include "core/exchange/PhoneCard.h"

namespace phonecard {

namespace {
// A content line's property name, without its group ("item1.PHOTO;TYPE=JPEG:..." is PHOTO).
QByteArray propertyName(const QByteArray& line) {
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    QByteArray name = line.left(end);
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1);
    return name.trimmed().toUpper();
}
} // namespace

QByteArray withoutPhoto(const QByteArray& card) {
    QByteArray out;
    out.reserve(card.size());
    bool skipping = false;
    qsizetype start = 0;
    while (start < card.size()) {
        qsizetype end = card.indexOf('\n', start);
        end = end < 0 ? card.size() : end + 1; // the line with its end
        const QByteArray line = card.mid(start, end - start);
        start = end;
        // A line that begins with a space or a tab continues the one before it.
        const bool continuation = !line.isEmpty() && (line[0] == ' ' || line[0] == '\t');
        if (!continuation)
            skipping = propertyName(line) == "PHOTO";
        if (!skipping)
            out += line;
    }
    return out;
}

} // namespace phonecard
