#pragma once

#include <string>

class QWidget;

namespace gf {

// Renders the widget as it would show on screen (also offscreen) and writes a
// PNG file. False when the file cannot be written.
bool RenderScreenshot(QWidget& widget, const std::string& png);

}  // namespace gf
