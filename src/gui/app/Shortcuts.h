#pragma once
// The keyboard's way to every toolbar button and drop-down entry of the main window (README lists
// them). The delete button is the Delete key in the tree and the list; the settings button's face
// does nothing, its entries have keys of their own.
#include <QKeySequence>
#include <QString>

namespace shortcuts {

struct Entry {
    const char* key; // the button's or the entry's key
    QKeySequence keys;
};

inline const Entry All[] = {
    {"addbutt", QKeySequence(Qt::CTRL | Qt::Key_N)},
    {"addnew", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
    {"addgroup", QKeySequence(Qt::CTRL | Qt::Key_G)},
    {"import", QKeySequence(Qt::CTRL | Qt::Key_I)},
    {"editbutt", QKeySequence(Qt::CTRL | Qt::Key_E)},
    {"querybutt", QKeySequence(Qt::CTRL | Qt::Key_F)},
    {"birthday", QKeySequence(Qt::CTRL | Qt::Key_B)},
    {"deleted", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)},
    {"duplicates", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
    {"left", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left)},
    {"right", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right)},
    {"config", QKeySequence(Qt::CTRL | Qt::Key_Comma)},
    {"detail", QKeySequence(Qt::Key_F9)},
    {"export", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
    {"syncsettings", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y)},
    {"syncnow", QKeySequence(Qt::CTRL | Qt::Key_Y)},
    {"aboutbutt", QKeySequence(Qt::Key_F1)},
    {"quitbutt", QKeySequence(Qt::CTRL | Qt::Key_Q)},
};

inline QKeySequence of(const QString& key) {
    for (const Entry& entry : All) {
        if (key == QLatin1String(entry.key))
            return entry.keys;
    }
    return {};
}

} // namespace shortcuts
