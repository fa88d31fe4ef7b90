#include "AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "AppIcon.h"
#include "app/GangflashApp.h"
#include "widgets/DialogUnits.h"

namespace gf {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    const QFont dialogFont = DialogFont(9);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);
    setFixedSize(du.X(170), du.Y(62));

    auto* icon = new QLabel(this);
    const int iconSize = 32;
    icon->setPixmap(AppIconPixmap(iconSize));
    icon->setGeometry(du.X(14), du.Y(14), iconSize, iconSize);

    auto* line1 = new QLabel(QString::fromUtf8(kAboutLine1), this);
    line1->setGeometry(du.Rect(42, 14, 114, 8));
    auto* line2 = new QLabel(QString::fromUtf8(kAboutLine2), this);
    line2->setGeometry(du.Rect(42, 26, 114, 8));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setGeometry(du.Rect(113, 41, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace gf
