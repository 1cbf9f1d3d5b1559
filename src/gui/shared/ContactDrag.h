#pragma once
// People dragged from the list: their keys travel in a MIME type of the program's own, so that only
// the tree takes them and nothing outside the program reads them as text.
#include <QMimeData>
#include <QString>
#include <QStringList>

namespace contactdrag {
inline const QString MimeType = QStringLiteral("application/x-zinteva-contact-keys");

inline QMimeData* mimeOf(const QStringList& contactKeys) {
    auto* data = new QMimeData;
    data->setData(MimeType, contactKeys.join(QLatin1Char('\n')).toUtf8());
    return data;
}

// The keys carried; none when the data is not a drag of people.
inline QStringList keysOf(const QMimeData* data) {
    if (!data || !data->hasFormat(MimeType))
        return {};
    return QString::fromUtf8(data->data(MimeType)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace contactdrag
