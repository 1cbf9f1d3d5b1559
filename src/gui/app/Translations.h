#pragma once
// Qt's own texts (the buttons of message and input boxes, the file dialog, the right-click menu of
// text boxes) in Simplified Chinese, as the rest of the program speaks, whatever the system locale.
class QCoreApplication;
class QString;

// Installs Qt's Simplified Chinese translations from Qt's translations folder (Debian ships them in
// qt6-translations-l10n) and makes Chinese the default locale. False when the translations are
// missing: Qt's texts then stay English, and nothing else changes.
bool installChineseTranslations(QCoreApplication& application);
// Where the translations are looked for.
QString qtTranslationsFolder();
