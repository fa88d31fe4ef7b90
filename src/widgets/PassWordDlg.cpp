#include "PassWordDlg.h"

#include <QLineEdit>
#include <QPushButton>

#include "DialogUnits.h"
#include "platform/View.h"

namespace gf {

CPassWordDlg::CPassWordDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("PassWord"));
    setModal(true);
    const QFont dialogFont = DialogFont(8);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);
    setFixedSize(du.X(195), du.Y(58));

    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("1062"));
    m_pEdit->setGeometry(du.Rect(42, 15, 113, 13));
    m_pEdit->setAlignment(Qt::AlignCenter);
    m_pEdit->setEchoMode(QLineEdit::Password);
    // Each typed character shows as an asterisk rather than the style's bullet.
    m_pEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

    m_pOk = new QPushButton(QStringLiteral("确定"), this);
    m_pOk->setObjectName(QStringLiteral("1"));
    m_pOk->setGeometry(du.Rect(31, 37, 50, 14));
    m_pOk->setDefault(true);
    m_pOk->setAutoDefault(true);

    m_pCancel = new QPushButton(QStringLiteral("取消"), this);
    m_pCancel->setObjectName(QStringLiteral("2"));
    m_pCancel->setGeometry(du.Rect(113, 37, 50, 14));
    m_pCancel->setAutoDefault(false);

    connect(m_pOk, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CPassWordDlg::DoModal() {
    m_pEdit->clear();
    m_pEdit->setFocus();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CPassWordDlg::OnOK() {
    m_strPassword = m_pEdit->text().toStdString();
    accept();
}

}  // namespace gf
