#include "framework/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>
#include <cstring>

namespace lunavue {

bool WantsJapanese() {
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    return locale == nullptr || std::strcmp(locale, "C") == 0 ||
           std::strncmp(locale, "C.", 2) == 0 || std::strcmp(locale, "POSIX") == 0 ||
           std::strncmp(locale, "ja", 2) == 0;
}

bool InstallTranslation(QCoreApplication& app) {
    static QTranslator japanese;
    static QTranslator toolkit;  // Qt's own texts: the buttons and labels of its dialogs
    QCoreApplication::removeTranslator(&japanese);
    QCoreApplication::removeTranslator(&toolkit);
    if (!WantsJapanese() || !japanese.load(QStringLiteral(":/i18n/lunavue_ja.qm"))) {
        return false;
    }
    app.installTranslator(&japanese);
    // Where the distribution has them (qt6-translations-l10n); without, Qt's texts stay English.
    if (toolkit.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(&toolkit);
    }
    return true;
}

QString Text(const char* text, const char* context) {
    return QCoreApplication::translate(context, text);
}

}  // namespace lunavue
