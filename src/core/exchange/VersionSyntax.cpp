#include "core/exchange/VersionSyntax.h"

#include "core/exchange/BirthdayText.h"

#include <QRegularExpression>
#include <functional>

namespace versionsyntax {

namespace {

// A content line in its parts: the name with its group, the parameters as written, the value.
struct Parts {
    QString name;
    QStringList params;
    QString value;
    bool hasValue = false;
};

Parts partsOf(const QString& line) {
    Parts parts;
    QString piece;
    bool quoted = false;
    bool inName = true;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"')
            quoted = !quoted;
        if (!quoted && (c == u';' || c == u':')) {
            (inName ? parts.name : parts.params.emplace_back()) = piece;
            inName = false;
            piece.clear();
            if (c == u':') {
                parts.hasValue = true;
                parts.value = line.mid(i + 1);
                return parts;
            }
            continue;
        }
        piece += c;
    }
    (inName ? parts.name : parts.params.emplace_back()) = piece;
    return parts;
}

// A list value split at its unescaped commas, each piece as written.
QStringList listPieces(const QString& value) {
    QStringList pieces{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            pieces.back() += value[i];
            pieces.back() += value[++i];
        } else if (value[i] == u',') {
            pieces.append(QString());
        } else {
            pieces.back() += value[i];
        }
    }
    return pieces;
}

QString unescaped(const QString& piece) {
    QString text;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (piece[i] == u'\\' && i + 1 < piece.size()) {
            const QChar next = piece[++i];
            text += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else {
            text += piece[i];
        }
    }
    return text;
}

QString joined(const Parts& parts) {
    QString line = parts.name;
    for (const QString& param : parts.params)
        line += u';' + param;
    return parts.hasValue ? line + u':' + parts.value : line;
}

QString paramName(const QString& param) {
    return param.section(u'=', 0, 0).trimmed().toUpper();
}

QString paramValue(const QString& param) {
    return param.section(u'=', 1).remove(u'"').trimmed();
}

void removeParams(Parts& parts, const std::function<bool(const QString& name, const QString& value)>& drop) {
    parts.params.removeIf([&](const QString& param) { return drop(paramName(param), paramValue(param)); });
}

// Whether a date value is written as the version writes dates: 3.0 (ISO 8601) with or without
// hyphens and a year-less date with them; 4.0 without hyphens only. A time may follow.
bool inOwnDateForm(const QString& value, VCardVersion version) {
    static const QRegularExpression v30(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}|\\d{8}|--\\d{2}-\\d{2})(T[0-9:+\\-Z.]*)?$"));
    static const QRegularExpression v40(QStringLiteral("^(\\d{8}|--\\d{4})(T[0-9+\\-Z]*)?$"));
    return (version == VCardVersion::V30 ? v30 : v40).match(value.trimmed()).hasMatch();
}

} // namespace

QString nameOf(const QString& line) {
    QString name = partsOf(line).name;
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.mid(dot + 1);
    return name.trimmed().toUpper();
}

QString inVersion(const QString& line, VCardVersion version) {
    const QString name = nameOf(line);
    if (name != u"BDAY" && !(name == u"TEL" && version == VCardVersion::V30))
        return line;
    Parts parts = partsOf(line);
    if (name == u"TEL") {
        bool uri = false;
        removeParams(parts, [&](const QString& key, const QString& value) {
            const bool isUri = key == u"VALUE" && value.compare(u"uri", Qt::CaseInsensitive) == 0;
            uri = uri || isUri;
            return isUri;
        });
        if (!uri)
            return line;
        if (parts.value.startsWith(u"tel:", Qt::CaseInsensitive))
            parts.value = parts.value.mid(4);
        return joined(parts);
    }
    std::optional<int> omitYear;
    for (const QString& param : parts.params) {
        bool ok = false;
        const int year = paramValue(param).toInt(&ok);
        if (paramName(param) == u"X-APPLE-OMIT-YEAR" && ok)
            omitYear = year;
    }
    const birthday::Reading read = birthday::read(parts.value, birthday::Order::Unknown, omitYear);
    if (read.kind != birthday::Reading::Kind::Date)
        return line;
    // 4.0 writes a year-less date as such (--0517), not with Apple's stand-in year.
    const bool standInYear = version == VCardVersion::V40 && birthday::isYearless(*read.date) &&
                             !parts.value.trimmed().startsWith(u"--");
    if (inOwnDateForm(parts.value, version) && !standInYear)
        return line;
    parts.value = birthday::format(*read.date, version == VCardVersion::V40 ? birthday::Style::Basic
                                                                              : birthday::Style::Extended);
    removeParams(parts, [&](const QString& key, const QString& value) {
        return (key == u"VALUE" && value.compare(u"date", Qt::CaseInsensitive) != 0) ||
               (key == u"X-APPLE-OMIT-YEAR" && birthday::isYearless(*read.date));
    });
    return joined(parts);
}

QString photoHeader(const QString& header, const QString& type30, VCardVersion version) {
    Parts parts = partsOf(header);
    static const QStringList pictureTypes = {QStringLiteral("JPEG"), QStringLiteral("JPG"), QStringLiteral("PNG"),
                                             QStringLiteral("GIF"),  QStringLiteral("BMP"), QStringLiteral("TIFF"),
                                             QStringLiteral("WEBP")};
    if (version == VCardVersion::V40) {
        removeParams(parts, [](const QString& key, const QString& value) {
            return key == u"ENCODING" || (key == u"TYPE" && pictureTypes.contains(value.toUpper()));
        });
        return joined(parts);
    }
    bool typed = false;
    removeParams(parts, [&](const QString& key, const QString&) {
        typed = typed || key == u"TYPE";
        return key == u"MEDIATYPE" || key == u"VALUE" || key == u"ENCODING";
    });
    if (!typed && !type30.isEmpty())
        parts.params.append(QStringLiteral("TYPE=") + type30);
    return joined(parts);
}

QString categoriesLine(const QString& line, const QString& oldGroup, const QString& group) {
    Parts parts = partsOf(line);
    QStringList kept;
    if (!group.isEmpty())
        kept.append(VCardWriter::escapedText(group));
    bool skippedOld = false;
    for (const QString& piece : listPieces(parts.value)) {
        const QString text = unescaped(piece);
        if (text.trimmed().isEmpty() || text == group)
            continue;
        if (!skippedOld && text == oldGroup) {
            skippedOld = true;
            continue;
        }
        kept.append(piece);
    }
    if (kept.isEmpty())
        return {};
    parts.value = kept.join(u',');
    return joined(parts);
}

} // namespace versionsyntax
