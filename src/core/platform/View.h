#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gf {

using COLORREF = std::uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}

// Message box flags and answers, with the Windows values.
enum : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The main window's controls, addressed by their dialog identifiers. Every
// method is called on the UI thread only; workers go through the dispatcher.
class IView {
public:
    virtual ~IView() = default;

    virtual void SetText(int id, const std::string& text) = 0;
    virtual std::string GetText(int id) = 0;
    // Progress bar position (PBM_SETPOS).
    virtual void SetProgressPos(int id, int pos) = 0;
    // Coloured static texts; each setter repaints the control at once.
    virtual void SetTextColor(int id, COLORREF color) = 0;
    virtual void SetBkColor(int id, COLORREF color) = 0;
    // InvalidateRect with or without erase.
    virtual void Invalidate(int id, bool erase) = 0;
    // RedrawWindow with RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW.
    virtual void RedrawNow(int id) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetCheck(int id, bool checked) = 0;

    // Combo boxes: CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL.
    virtual void ComboResetContent(int id) = 0;
    virtual void ComboAddString(int id, const std::string& text) = 0;
    virtual void ComboSetCurSel(int id, int index) = 0;

    // Window timers (SetTimer/KillTimer on the main window).
    virtual void SetTimer(int id, unsigned periodMs) = 0;
    virtual void KillTimer(int id) = 0;

    // Modal message box; returns IDOK, IDYES, IDNO...
    virtual int MessageBox(const std::string& text, const std::string& caption,
                           unsigned flags) = 0;
    // Ends the main dialog with a result (EndDialog).
    virtual void EndDialog(int result) = 0;
};

}  // namespace gf
