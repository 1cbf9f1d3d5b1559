#include "gui/app/Translations.h"

#include "core/text/TypedDate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString qtTranslationsFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installChineseTranslations(QCoreApplication& application) {
    QLocale::setDefault(chineseLocale());
    auto* translator = new QTranslator(&application);
    // qt_zh_CN gathers the catalogues of every Qt module (qtbase_zh_CN first).
    for (const char* catalogue : {"qt_zh_CN", "qtbase_zh_CN"}) {
        if (translator->load(QLatin1String(catalogue), qtTranslationsFolder()) &&
            application.installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}
