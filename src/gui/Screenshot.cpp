#include "Screenshot.h"

#include <QPixmap>
#include <QWidget>

namespace gf {

bool RenderScreenshot(QWidget& widget, const std::string& png) {
    const QPixmap pixmap = widget.grab();
    if (pixmap.isNull()) return false;
    return pixmap.save(QString::fromStdString(png), "PNG");
}

}  // namespace gf
