#include "XColorStatic.h"

#include <QBrush>
#include <QPainter>

#include "SysColor.h"

namespace gf {

CXColorStatic::CXColorStatic(QWidget* parent, unsigned style)
    : QFrame(parent),
      m_crText(GetSysColor(COLOR_BTNTEXT)),
      m_crBack(GetSysColor(COLOR_BTNFACE)),
      m_pBackBrush(std::make_unique<QBrush>(ToQColor(m_crBack))),
      m_style(0) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetStyle(style);
}

CXColorStatic::~CXColorStatic() = default;

void CXColorStatic::Attach() {
    m_font = font();
    m_bHasFont = true;
}

void CXColorStatic::SetTextColor(COLORREF color) {
    m_crText = color;
    RedrawNow();
}

void CXColorStatic::SetBkColor(COLORREF color) {
    m_crBack = color;
    m_pBackBrush = std::make_unique<QBrush>(ToQColor(color));
    RedrawNow();
}

void CXColorStatic::SetStyle(unsigned style) {
    m_style = style;
    if (style & WS_BORDER) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    update();
}

void CXColorStatic::SetWindowText(const std::string& text) {
    m_text = QString::fromStdString(text);
    update();
}

int CXColorStatic::DrawFlags(unsigned style) {
    int flags = Qt::TextShowMnemonic;
    if (style & SS_CENTER) {
        flags |= Qt::AlignHCenter;
    } else if (style & SS_RIGHT) {
        flags |= Qt::AlignRight;
    } else {
        flags |= Qt::AlignLeft;
    }
    if (style & SS_CENTERIMAGE) {
        flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    } else {
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    }
    return flags;
}

void CXColorStatic::RedrawNow() {
    // repaint() draws at once when the control is visible; update() covers a
    // hidden control, which paints when it is shown.
    if (isVisible()) {
        repaint();
    } else {
        update();
    }
}

void CXColorStatic::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.fillRect(client, *m_pBackBrush);
    painter.setPen(ToQColor(m_crText));
    painter.setBackground(*m_pBackBrush);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setFont(m_bHasFont ? m_font : font());
    painter.setClipRect(client);
    painter.drawText(client, DrawFlags(m_style), m_text);
    painter.setClipping(false);
    drawFrame(&painter);
}

}  // namespace gf
