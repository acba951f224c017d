#include "framework/Translation.h"

#include <QCoreApplication>
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
    QCoreApplication::removeTranslator(&japanese);
    if (!WantsJapanese() || !japanese.load(QStringLiteral(":/i18n/lunavue_ja.qm"))) {
        return false;
    }
    app.installTranslator(&japanese);
    return true;
}

QString Text(const char* text, const char* context) {
    return QCoreApplication::translate(context, text);
}

}  // namespace lunavue
