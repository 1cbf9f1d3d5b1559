#pragma once
// Writes cards in vCard 3.0 (the default) or 4.0: CRLF line ends, lines folded at 75 octets without
// splitting a UTF-8 character.
#include "core/store/ContactFields.h"

#include <QByteArray>
#include <QString>
#include <vector>

enum class VCardVersion { V30, V40 };

struct ExportCard {
    ContactFields fields;
    QString groupName;    // written as CATEGORIES
    QString uid;          // written as UID when not empty
    QByteArray photoData; // the picture file's bytes when it exists; otherwise fields.photo is
                          // written as a URI
    QString photoExtension;
};

class VCardWriter {
public:
    static QByteArray write(const ExportCard& card, VCardVersion version);
    static QByteArray write(const std::vector<ExportCard>& cards, VCardVersion version);

    // Exposed for the tests.
    static QByteArray folded(const QByteArray& line);
    static QString escapedText(const QString& text);
};
