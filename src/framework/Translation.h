// The program's texts in the desktop's language. Texts are written in English in the code
// and go through Qt's translation system; the Japanese translation holds the texts the player
// has always shown, and is used where the language is Japanese and in the plain C/POSIX
// locale (so nothing changes for anyone who runs it without a locale); English elsewhere.
#pragma once

#include <QString>

class QCoreApplication;

namespace lunavue {

// Whether the locale of the environment (LC_ALL, LC_MESSAGES, LANG) asks for Japanese.
bool WantsJapanese();
// Installs the translation the environment asks for; returns whether it is Japanese.
bool InstallTranslation(QCoreApplication& app);
// A text of the program in the language installed: context "Lunavue" unless given.
QString Text(const char* text, const char* context = "Lunavue");

}  // namespace lunavue
