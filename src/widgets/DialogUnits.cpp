#include "DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>

namespace gf {

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // The average width of the 52 Latin letters, rounded as the dialog manager does.
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (width / 26 + 1) / 2);
    m_baseY = std::max(1, fm.height());
}

QFont DialogFont(int pointSize) {
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    return font;
}

}  // namespace gf
