#pragma once

#include <QFont>
#include <QRect>

namespace gf {

// Dialog-unit to pixel conversion with a dialog font's metrics, as dialog
// templates are laid out: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    int X(int units) const { return (units * m_baseX + 2) / 4; }
    int Y(int units) const { return (units * m_baseY + 4) / 8; }
    QRect Rect(int x, int y, int cx, int cy) const { return QRect(X(x), Y(y), X(cx), Y(cy)); }
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};

// The dialog font of the station's templates ("MS Shell Dlg" is not on Linux,
// so the desktop's sans font at the template's point size stands for it).
QFont DialogFont(int pointSize);

}  // namespace gf
