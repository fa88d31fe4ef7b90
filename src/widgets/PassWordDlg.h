#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace gf {

// The password prompt in front of the package choice. It only collects the
// text: OK stores what was typed in m_strPassword; Cancel, Escape and the close
// box leave m_strPassword as it was. The object is kept across prompts. UI thread.
class CPassWordDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPasswordBoxId = 1062;

    explicit CPassWordDlg(QWidget* parent = nullptr);

    // Runs the prompt modally with an empty box; IDOK or IDCANCEL.
    int DoModal();

    std::string m_strPassword;

    // The prompt's controls, for the window's tests.
    QLineEdit* PasswordBox() const { return m_pEdit; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

private:
    void OnOK();

    QLineEdit* m_pEdit;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};

}  // namespace gf
