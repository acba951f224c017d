// Texts of the Qt-free layers that a window shows are written in English and marked for
// translation; the window translates them with Qt's translation system (context and text).
// Outside Qt the mark leaves the text as it is.
#pragma once

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif
