#include "framework/VisibleText.h"

#include <QList>

namespace lunavue {
namespace {

// The marks that change the direction or order in which text is shown.
bool ReordersText(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

QString VisibleName(const QString& name) {
    QString shown;
    shown.reserve(name.size());
    for (const uint u : name.toUcs4()) {
        const auto c = static_cast<char32_t>(u);
        if (c < 0x20) {
            shown += QChar(static_cast<char16_t>(0x2400 + c));  // the control's picture
        } else if (c == 0x7F) {
            shown += QChar(0x2421);
        } else if ((c >= 0x80 && c < 0xA0) || ReordersText(c)) {
            shown +=
                QStringLiteral("\\u") +
                QStringLiteral("%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
        } else {
            shown += QString::fromUcs4(&c, 1);
        }
    }
    return shown;
}

}  // namespace lunavue
