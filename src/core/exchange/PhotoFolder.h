#pragma once
// The folder "photos" beside the data file, where imported pictures are kept under names made from
// their bytes ("<20 hex digits>.<kind>"). Only the user may enter it (0700) or read its files (0600).
//
// An import writes its pictures into a staging folder inside it (".staging-..."), and moves them in
// only after its transaction is committed: a failed, cancelled or killed import leaves no picture
// behind. At start, tidy() finishes what a killed import left (pictures its committed contacts name
// are moved in, the rest dropped) and removes the pictures no contact names any more.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Store;

namespace photofolder {

QString folderFor(const QString& dataFile);
// Whether a file name is one this program gives imported pictures.
bool isPhotoName(const QString& fileName);
// The name for these bytes.
QString nameFor(const QByteArray& bytes, const QString& extension);

class Staging {
public:
    explicit Staging(const QString& photosFolder);
    ~Staging(); // drops whatever was not moved in
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Stages the picture; returns the path it will have inside the photos folder, or an empty text
    // with the reason in `error`. A picture already there with the same bytes is not written again.
    QString save(const QByteArray& bytes, const QString& extension, QString* error);
    // After the commit: moves every staged picture in. False when some could not be moved (they wait
    // in the staging folder for the next start).
    bool publish();
    int staged() const { return static_cast<int>(staged_.size()); }

private:
    QString folder_;
    QString staging_;
    QStringList staged_;
    bool published_ = false;
};

struct TidyResult {
    int movedIn = 0; // pictures of a committed import that had not been moved in
    int removed = 0; // pictures no contact names, and left-overs of imports that did not commit
};
// Throws StoreError when the data file cannot be read; the folder is then left as it is.
TidyResult tidy(Store& store, const QString& dataFile);

// A picture the user chose for a person is kept here too, so that the original may move or vanish.
struct Picture {
    QByteArray bytes;
    QString extension;
};
// A picture of at most this many pixels is kept as it is; a larger one is scaled down.
inline constexpr qint64 ChosenPixelLimit = 4'000'000;
// Scales a picture down to at most ChosenPixelLimit pixels; nothing when its bytes do not decode.
// Decoding needs the window's image readers, so the window gives it; without one the bytes are kept
// as they are.
using Shrink = std::function<std::optional<Picture>(const Picture&)>;

// Whether a path names a file inside the photos folder of that data file.
bool isInFolder(const QString& path, const QString& dataFile);
// Copies the picture at `source` into the photos folder (a regular file whose bytes are a picture,
// as the export checks; shrunk if need be) under the name of its bytes, written whole or not at
// all. Returns the copy's path, or an empty text with the reason in `error`.
QString keepChosen(const QString& source, const QString& dataFile, const Shrink& shrink, QString* error);
// Removes each picture among `paths` that lies in the photos folder and is nobody's any more
// (Store::photoInUse: no contact, no recently deleted person, no step of the history names it).
// Returns how many were removed. Throws StoreError when the data file cannot be read.
int releaseUnused(Store& store, const QString& dataFile, const QStringList& paths);

} // namespace photofolder
