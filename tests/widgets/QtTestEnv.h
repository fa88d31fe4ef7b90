#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QWidget;

namespace gf::test {

// True when the font database offers at least one family: without fonts every
// glyph renders as an empty box, so tests that look at text check this first.
bool HaveFont();

// The widget rendered as on screen, one image pixel per widget pixel.
QImage Grab(QWidget& widget);

// Bounding box of the pixels of `image` inside `area` that differ from `background`.
QRect InkBox(const QImage& image, const QRect& area, QColor background);

// Whether any pixel inside `area` has exactly that colour.
bool HasPixel(const QImage& image, const QRect& area, QColor color);

}  // namespace gf::test
