#pragma once
// The per-user settings: application "tavrel", group "set", every value written as text.
#include <QString>
#include <memory>

class QSettings;

class Settings {
public:
    Settings();                                // the user's own store
    explicit Settings(const QString& iniFile); // a file of its own (tests, portable use)
    ~Settings();

    QString text(const QString& key, const QString& fallback = {}) const;
    // A value that is missing or is not a number gives the default, so a damaged settings file
    // never stops the program.
    double number(const QString& key, double fallback) const;
    int integer(const QString& key, int fallback) const;
    void setText(const QString& key, const QString& value);
    void sync();

private:
    std::unique_ptr<QSettings> store_;
};

// The eight keys and their defaults.
namespace setting {
inline const QString Day = QStringLiteral("day");
inline const QString Birthday = QStringLiteral("birthday");
inline const QString State = QStringLiteral("state");
inline const QString Left = QStringLiteral("left");
inline const QString Top = QStringLiteral("top");
inline const QString Height = QStringLiteral("height");
inline const QString Width = QStringLiteral("width");
inline const QString Toolbar = QStringLiteral("toolbar");
inline const QString SysInfo = QStringLiteral("sysinfo");
// The data file's stamp (store/FileStamp.h) when it last passed the integrity check at an orderly
// exit: an unchanged file is not read through again at the next start.
inline const QString CheckedDataFile = QStringLiteral("checkeddatafile");
// Beside the eight: the window frame's extents at the last close ("l,t,r,b" in pixels), so that the
// outer size saved comes back exactly, and the width of the group tree the user dragged, in twips.
inline const QString Frame = QStringLiteral("frame");
inline const QString TreeWidth = QStringLiteral("treewidth");
// Whether the selected person's card shows beside the list ("1") or not.
inline const QString DetailPane = QStringLiteral("detailpane");

inline constexpr int DayDefault = 10;
// The reminder window the settings dialog offers; a stored count outside it (a hand-edited or
// damaged settings file) is brought back into it at load.
inline constexpr int DayMinimum = 0;
inline constexpr int DayMaximum = 30;
inline constexpr int BirthdayDefault = 1;
inline constexpr double LeftDefault = 2400;
inline constexpr double TopDefault = 2385;
inline constexpr double HeightDefault = 6840;
inline constexpr double WidthDefault = 10695;
} // namespace setting
