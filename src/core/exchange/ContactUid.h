#pragma once
// The UIDs of the cards zinteva writes: "zinteva-", a random part fixed for the data file, "-", and
// the contact key (zinteva-4f0c9a1e77d2b6c3-friend17). A card that comes back with such a UID updates
// that contact instead of adding it again.
#include <QString>

class Store;

class ContactUid {
public:
    // Reads the data file's random part; when there is none yet and `create` is set, makes one and
    // stores it (in the caller's transaction if one is open). Empty when there is none and none could
    // be made (a read-only file). Throws StoreError on any other failure.
    static QString filePart(Store& store, bool create);

    static QString make(const QString& filePart, const QString& contactKey);
    // The contact key inside a UID made with this file part; empty for any other UID.
    static QString contactKeyOf(const QString& filePart, const QString& uid);
};
