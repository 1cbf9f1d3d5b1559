#pragma once
// Reads .vcf files: one or many cards, vCard 2.1, 3.0 and 4.0. Each card stands alone: a broken card
// becomes a record with its number, its name when that could be read, and the reason; the others are
// read as usual. The whole read is linear in the size of the file.
#include "core/exchange/ImportRecord.h"

#include <QByteArray>
#include <functional>

class QIODevice;

namespace vcarddetail {
// How much a read from a device asks for at once; tests make it tiny, to cut lines everywhere.
extern qint64 readPiece;
} // namespace vcarddetail

class VCardReader {
public:
    static ImportBatch read(const QByteArray& file);
    // The same from a device read a piece at a time, each record handed over as soon as its card is
    // read, so that a file of any size is imported in little memory. The batch returned holds no
    // records: the encoding assumed, and an error when the device failed before its end.
    static ImportBatch read(QIODevice& device, const std::function<void(ImportRecord&&)>& each);
    // The cards a file holds (the lines that begin one), for a progress bar; reads the device to its end.
    static int countCards(QIODevice& device);
    // Whether the bytes look like a vCard file (used to tell .vcf from .csv when the name says nothing).
    static bool looksLikeVCard(const QByteArray& file);
};
