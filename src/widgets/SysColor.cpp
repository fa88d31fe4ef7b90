#include "SysColor.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace gf {

COLORREF GetSysColor(int index, const QWidget* widget) {
    const QPalette palette = widget != nullptr ? widget->palette() : QApplication::palette();
    switch (index) {
        case COLOR_ACTIVECAPTION:
            return RGB(153, 180, 209);
        case COLOR_INACTIVECAPTION:
            return RGB(191, 205, 219);
        case COLOR_WINDOW:
            return ToColorRef(palette.color(QPalette::Active, QPalette::Base));
        case COLOR_WINDOWTEXT:
            return ToColorRef(palette.color(QPalette::Active, QPalette::Text));
        case COLOR_HIGHLIGHT:
            return ToColorRef(palette.color(QPalette::Active, QPalette::Highlight));
        case COLOR_HIGHLIGHTTEXT:
            return ToColorRef(palette.color(QPalette::Active, QPalette::HighlightedText));
        case COLOR_BTNFACE:
            return ToColorRef(palette.color(QPalette::Active, QPalette::Button));
        case COLOR_BTNTEXT:
            return ToColorRef(palette.color(QPalette::Active, QPalette::ButtonText));
        default:
            return 0;
    }
}

}  // namespace gf
