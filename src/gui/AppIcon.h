#pragma once

#include <QIcon>
#include <QPixmap>

namespace gf {

// The station's application icon, drawn in code so that it needs no files:
// a flash chip with a lightning bolt on a blue tile.
QPixmap AppIconPixmap(int size);
QIcon AppIcon();

}  // namespace gf
