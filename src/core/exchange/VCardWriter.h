#pragma once
// Writes cards in vCard 3.0 (the default) or 4.0: CRLF line ends, lines folded at 75 octets without
// splitting a UTF-8 character.
#include "core/store/ContactFields.h"
#include "core/store/KeptProperties.h"

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
    // The card's kept properties (store/KeptProperties.h): those read into a field replace the lines
    // made from that field while it still holds the value read; the others are written as they are.
    std::vector<KeptProperty> kept = {};
};

class VCardWriter {
public:
    static QByteArray write(const ExportCard& card, VCardVersion version);
    // The card's bytes appended to `out` (a file built card after card in one buffer).
    static void append(QByteArray& out, const ExportCard& card, VCardVersion version);
    static QByteArray write(const std::vector<ExportCard>& cards, VCardVersion version);

    // The value of a field (keptfield::Name, ...) that kept properties are checked against.
    static QString fieldValue(const QString& field, const ContactFields& fields, const QString& groupName);
    // The content lines, unfolded, that the writer makes from a field when no kept property stands
    // for it (empty for keptfield::Photo, which needs the picture's bytes).
    static QStringList fieldLines(const QString& field, const ExportCard& card, VCardVersion version);

    // Exposed for the tests.
    static QByteArray folded(const QByteArray& line);
    static QString escapedText(const QString& text);
};
