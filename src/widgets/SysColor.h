#pragma once

#include <QColor>

#include "platform/View.h"

class QWidget;

namespace gf {

// System colour indices with their Windows values, for the widgets' drawing.
enum SysColorIndex : int {
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNTEXT = 18,
};

// The system colour of that index: taken from the widget's palette (the
// application palette when `widget` is null). Linux desktops have no caption
// colours, so the two caption indices give the classic Windows values.
COLORREF GetSysColor(int index, const QWidget* widget = nullptr);

inline QColor ToQColor(COLORREF c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}
inline COLORREF ToColorRef(const QColor& c) {
    return RGB(static_cast<unsigned>(c.red()), static_cast<unsigned>(c.green()),
               static_cast<unsigned>(c.blue()));
}

}  // namespace gf
