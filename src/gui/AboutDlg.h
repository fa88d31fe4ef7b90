#pragma once

#include <QDialog>

namespace gf {

// The About box: icon, the program's two lines and an OK button "确定".
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace gf
