#pragma once

#include <QFont>
#include <QFrame>
#include <QString>
#include <memory>
#include <string>

#include "platform/View.h"

class QBrush;

namespace gf {

// Static-control style bits the widgets understand (Windows values).
enum : unsigned {
    SS_LEFT = 0x0,
    SS_CENTER = 0x1,
    SS_RIGHT = 0x2,
    SS_CENTERIMAGE = 0x200,
    WS_BORDER = 0x00800000,
};

// A static text that paints itself: a solid block of the background colour
// with the window text on it in the text colour. Alignment and wrapping come
// from the style bits; '&' marks a mnemonic as on a plain static. UI thread.
class CXColorStatic : public QFrame {
    Q_OBJECT
public:
    explicit CXColorStatic(QWidget* parent = nullptr, unsigned style = SS_LEFT);
    ~CXColorStatic() override;

    // Binds the object to its place in the window: copies the font the control
    // has now, so later font changes of the parent do not reach the text.
    void Attach();
    bool HasOwnFont() const { return m_bHasFont; }

    // Both setters repaint the control before they return.
    void SetTextColor(COLORREF color);
    void SetBkColor(COLORREF color);
    COLORREF GetTextColor() const { return m_crText; }
    COLORREF GetBkColor() const { return m_crBack; }

    void SetStyle(unsigned style);
    unsigned GetStyle() const { return m_style; }

    // The control's window text (UTF-8); setting it schedules a repaint.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const { return m_text.toStdString(); }

    // Qt drawing flags for the style: horizontal alignment, then a single
    // vertically centred line or word wrapping from the top.
    static int DrawFlags(unsigned style);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RedrawNow();

    QFont m_font;
    bool m_bHasFont = false;
    COLORREF m_crText;
    COLORREF m_crBack;
    std::unique_ptr<QBrush> m_pBackBrush;
    unsigned m_style;
    QString m_text;
};

}  // namespace gf
