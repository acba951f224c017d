// Names as a person should see them: a file's name can hold any byte but '/' and NUL, and
// some of them would make it pretend (a newline that shows it as two entries, a right-to-left
// mark that turns it round). Control characters are shown as their pictures (a newline as
// U+240A), and the marks that reorder text as escapes (\u202E).
#pragma once

#include <QString>

namespace lunavue {

QString VisibleName(const QString& name);

}  // namespace lunavue
