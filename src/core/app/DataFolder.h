#pragma once
// Where the data file lives. A copy run from a folder it may write keeps its data beside itself;
// an installed copy (its folder takes no new file, or it is the system's folder for programs) keeps
// it in the user's own data folder, ~/.local/share/tavrel. ZINTEVA_DIR names the folder outright.
#include <QString>
#include <functional>
#include <optional>

class Dialogs;

struct DataFolder {
    enum class Kind {
        Named,         // ZINTEVA_DIR
        ProgramFolder, // beside the program
        PerUser,       // the user's own data folder
    };
    QString dir;
    Kind kind = Kind::ProgramFolder;

    // The rule itself. `named` is ZINTEVA_DIR (empty when unset).
    static DataFolder choose(const QString& named, const QString& programDir, bool programDirTakesFiles,
                             const QString& perUserDir);
    // The rule on this process: its environment, the folder of its binary, the user's data folder.
    static DataFolder current();

    // One sentence for the user: where the contacts are kept.
    QString whereText() const;
};

// The user's own data folder for this program (QStandardPaths' data location, "tavrel").
QString perUserDataFolder();
// Whether a copy of the program in `dir` keeps its data there: the folder takes new files and is
// not the folder the program is installed into.
bool programFolderTakesData(const QString& dir);

// The file that tells that a per-user folder has held a data file: with it, a folder that has
// neither the data file nor the backup has lost them, rather than never had them.
QString usedMarkerPath(const QString& dir);
void markFolderUsed(const DataFolder& folder);

// For the start-up guard when neither the data file nor the backup is there. Nothing: this is no
// first start (the folder is not the per-user one, or it held data before), so the loss is reported.
// True: an empty data file was created and the user told where. False: creating it failed and the
// user has been told why.
std::optional<bool> startAfresh(const DataFolder& folder, Dialogs& dialogs);

namespace foldertext {
QString created(const QString& dataFile);
QString createFailed(const QString& dataFile, const QString& reason);
} // namespace foldertext
