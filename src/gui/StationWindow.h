#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <map>

#include "package/PackageView.h"
#include "platform/View.h"

class QTimer;

namespace gf {

class CXColorStatic;
class CColorListCtrl;
class CPassWordDlg;

// The station's main window: eight slot rows and the package controls, laid
// out from the dialog template in dialog units of the dialog font. It is a
// view: every control is reached by its dialog identifier, and commands and
// timers go to the handlers the program installs. UI thread only.
class CStationWindow : public QDialog, public IView, public IPackageView {
    Q_OBJECT
public:
    explicit CStationWindow(QWidget* parent = nullptr);
    ~CStationWindow() override;

    // Handlers: button commands (Start 1030+i, StartAll 1100, Refresh 1101,
    // LoadXML 1048) and window timers by identifier.
    std::function<void(int id)> m_onCommand;
    std::function<void(int id)> m_onTimer;

    // IView.
    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) override;
    void SetProgressPos(int id, int pos) override;
    void SetTextColor(int id, COLORREF color) override;
    void SetBkColor(int id, COLORREF color) override;
    void Invalidate(int id, bool erase) override;
    void RedrawNow(int id) override;
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    void ComboResetContent(int id) override;
    void ComboAddString(int id, const std::string& text) override;
    void ComboSetCurSel(int id, int index) override;
    void SetTimer(int id, unsigned periodMs) override;
    void KillTimer(int id) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void EndDialog(int result) override;

    // IPackageView.
    int InsertColumns(const std::vector<std::string>& captions,
                      const std::vector<std::uint8_t>& percentages) override;
    int AddRow(const std::vector<std::string>& texts) override;
    int DeleteAllRows() override;
    std::optional<std::string> ChooseFileToOpen(const std::vector<FileFilter>& filters) override;
    PasswordReply RunPasswordPrompt() override;

    // The control with that dialog identifier, or null.
    QWidget* Control(int id) const;
    CXColorStatic* StatusText(int slot) const {
        return m_staticStatus[static_cast<std::size_t>(slot)];
    }
    CColorListCtrl* FileList() const { return m_pFileList; }
    CPassWordDlg* PasswordDialog() const { return m_pPassWordDlg; }
    bool TimerActive(int id) const;
    bool Ended() const { return m_bEnded; }
    int EndResult() const { return m_nEndResult; }

    // The About box, as the context menu and F1 open it.
    void ShowAbout();
    // File-open dialog filter text: "description (patterns)" entries joined by
    // ";;"; "*.*" (every file on Windows) becomes "*".
    static QString FilterText(const std::vector<FileFilter>& filters);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    template <class T>
    T* Add(int id, T* widget);
    QWidget* AddStatic(const char* text, int x, int y, int cx, int cy);

    std::map<int, QWidget*> m_controls;
    std::array<CXColorStatic*, 8> m_staticStatus{};
    CColorListCtrl* m_pFileList = nullptr;
    CPassWordDlg* m_pPassWordDlg = nullptr;
    std::map<int, QTimer*> m_timers;
    bool m_bEnded = false;
    int m_nEndResult = -1;
};

}  // namespace gf
