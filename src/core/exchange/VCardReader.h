#pragma once
// Reads .vcf files: one or many cards, vCard 2.1, 3.0 and 4.0. Each card stands alone: a broken card
// becomes a record with its number, its name when that could be read, and the reason; the others are
// read as usual. The whole read is linear in the size of the file.
#include "core/exchange/ImportRecord.h"

#include <QByteArray>
#include <functional>

class VCardReader {
public:
    static ImportBatch read(const QByteArray& file);
    // The same, each record handed over as soon as its card is read.
    static void read(const QByteArray& file, const std::function<void(ImportRecord&&)>& each);
    // Whether the bytes look like a vCard file (used to tell .vcf from .csv when the name says nothing).
    static bool looksLikeVCard(const QByteArray& file);
};
