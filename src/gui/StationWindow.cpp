#include "StationWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "AboutDlg.h"
#include "AppIcon.h"
#include "app/GangflashApp.h"
#include "job/JobOwner.h"
#include "widgets/ColorListCtrl.h"
#include "widgets/DialogUnits.h"
#include "widgets/PassWordDlg.h"
#include "widgets/XColorStatic.h"

namespace gf {

namespace {

// Identifiers of the window's controls beyond the slot rows.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdLoadXml = 1048;
constexpr int kIdPackagePath = 1050;
constexpr int kIdAutoAll = 1060;
constexpr int kIdFileList = 1061;
constexpr int kIdStartAll = 1100;
constexpr int kIdRefresh = 1101;

constexpr int kRowTop = 110;
constexpr int kRowPitch = 17;

QLabel* MakeLabel(QWidget* parent, const QString& text, Qt::Alignment align, bool border) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(align);
    if (border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

}  // namespace

template <class T>
T* CStationWindow::Add(int id, T* widget) {
    widget->setObjectName(QString::number(id));
    m_controls[id] = widget;
    return widget;
}

QWidget* CStationWindow::AddStatic(const char* text, int x, int y, int cx, int cy) {
    const CDialogUnits du(font());
    QLabel* label = MakeLabel(this, QString::fromUtf8(text), Qt::AlignLeft | Qt::AlignTop, false);
    label->setGeometry(du.Rect(x, y, cx, cy));
    return label;
}

CStationWindow::CStationWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    const QFont dialogFont = DialogFont(9);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);
    resize(du.X(482), du.Y(253));

    AddStatic("RawProgram", 8, 9, 55, 12);
    auto* path =
        Add(kIdPackagePath, MakeLabel(this, QString(), Qt::AlignLeft | Qt::AlignVCenter, true));
    path->setGeometry(du.Rect(50, 9, 370, 12));

    auto* loadXml = Add(kIdLoadXml, new QPushButton(QStringLiteral("LoadXML..."), this));
    loadXml->setGeometry(du.Rect(426, 9, 50, 14));

    m_pFileList = Add(kIdFileList, new CColorListCtrl(2, this));
    m_pFileList->setGeometry(du.Rect(8, 26, 412, 69));

    auto* refresh = Add(kIdRefresh, new QPushButton(QStringLiteral("Refresh"), this));
    refresh->setGeometry(du.Rect(426, 34, 50, 14));
    auto* startAll = Add(kIdStartAll, new QPushButton(QStringLiteral("StartAll"), this));
    startAll->setGeometry(du.Rect(426, 56, 50, 14));
    // Enter presses StartAll unless another button (auto-default in a dialog)
    // has the focus.
    startAll->setDefault(true);

    AddStatic("Port", 8, 97, 61, 10);
    AddStatic("Progress", 73, 97, 109, 10);
    AddStatic("Time", 205, 97, 20, 10);
    AddStatic("Download Info", 227, 97, 209, 10);
    auto* autoAll = Add(kIdAutoAll, new QCheckBox(QStringLiteral("AutoAll"), this));
    autoAll->setGeometry(du.Rect(440, 97, 36, 10));

    for (int i = 0; i < 8; ++i) {
        const int y = kRowTop + i * kRowPitch;
        auto* combo = Add(kPortComboId + i, new QComboBox(this));
        combo->setGeometry(du.Rect(8, y, 61, 13));
        auto* bar = Add(kProgressId + i, new QProgressBar(this));
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setGeometry(du.Rect(73, y, 109, 13));
        auto* percent =
            Add(kPercentId + i, MakeLabel(this, QStringLiteral("0%"), Qt::AlignCenter, false));
        percent->setGeometry(du.Rect(183, y, 21, 13));
        auto* elapsed =
            Add(kElapsedId + i, MakeLabel(this, QStringLiteral("0s"), Qt::AlignCenter, true));
        elapsed->setGeometry(du.Rect(205, y, 20, 13));
        auto* status = Add(kStatusId + i, new CXColorStatic(this, SS_CENTER | WS_BORDER));
        status->setGeometry(du.Rect(227, y, 209, 13));
        status->Attach();
        m_staticStatus[static_cast<std::size_t>(i)] = status;
        auto* start = Add(kStartButtonId + i, new QPushButton(QStringLiteral("Start"), this));
        start->setGeometry(du.Rect(439, y, 37, 14));
        start->setEnabled(false);
    }

    // The template's OK and Cancel buttons exist but are never shown.
    auto* ok = Add(kIdOk, new QPushButton(QStringLiteral("OK"), this));
    ok->setGeometry(du.Rect(470, 241, 6, 6));
    ok->hide();
    auto* cancel = Add(kIdCancel, new QPushButton(QStringLiteral("Cancel"), this));
    cancel->setGeometry(du.Rect(470, 247, 6, 6));
    cancel->hide();

    for (auto& [id, widget] : m_controls) {
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            if (id == kIdOk || id == kIdCancel) continue;
            const int commandId = id;
            connect(button, &QPushButton::clicked, this, [this, commandId] {
                if (m_onCommand) m_onCommand(commandId);
            });
        }
    }

    m_pPassWordDlg = new CPassWordDlg(this);
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, &CStationWindow::ShowAbout);
}

CStationWindow::~CStationWindow() {
    for (auto& [id, timer] : m_timers) timer->stop();
}

QWidget* CStationWindow::Control(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CStationWindow::SetText(int id, const std::string& text) {
    QWidget* w = Control(id);
    const QString qtext = QString::fromStdString(text);
    if (auto* s = qobject_cast<CXColorStatic*>(w)) {
        s->SetWindowText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(qtext);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(qtext);
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // A drop-down list shows only its entries: select the matching one.
        combo->setCurrentIndex(combo->findText(qtext));
    }
}

std::string CStationWindow::GetText(int id) {
    QWidget* w = Control(id);
    if (auto* s = qobject_cast<CXColorStatic*>(w)) return s->GetWindowText();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText().toStdString();
    return {};
}

void CStationWindow::SetProgressPos(int id, int pos) {
    if (auto* bar = qobject_cast<QProgressBar*>(Control(id))) {
        bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
    }
}

void CStationWindow::SetTextColor(int id, COLORREF color) {
    if (auto* s = qobject_cast<CXColorStatic*>(Control(id))) s->SetTextColor(color);
}

void CStationWindow::SetBkColor(int id, COLORREF color) {
    if (auto* s = qobject_cast<CXColorStatic*>(Control(id))) s->SetBkColor(color);
}

void CStationWindow::Invalidate(int id, bool /*erase*/) {
    if (QWidget* w = Control(id)) w->update();
}

void CStationWindow::RedrawNow(int id) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    if (w->isVisible()) {
        w->repaint();
    } else {
        w->update();
    }
}

void CStationWindow::EnableControl(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
}

bool CStationWindow::IsChecked(int id) {
    auto* box = qobject_cast<QAbstractButton*>(Control(id));
    return box != nullptr && box->isChecked();
}

void CStationWindow::SetCheck(int id, bool checked) {
    if (auto* box = qobject_cast<QAbstractButton*>(Control(id)); box && box->isCheckable()) {
        box->setChecked(checked);
    }
}

void CStationWindow::ComboResetContent(int id) {
    if (auto* combo = qobject_cast<QComboBox*>(Control(id))) combo->clear();
}

void CStationWindow::ComboAddString(int id, const std::string& text) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (combo == nullptr) return;
    // A sorted list: insert before the first entry that sorts after the text.
    const QString qtext = QString::fromStdString(text);
    int at = 0;
    while (at < combo->count() &&
           QString::compare(combo->itemText(at), qtext, Qt::CaseInsensitive) <= 0) {
        ++at;
    }
    const int current = combo->currentIndex();
    combo->insertItem(at, qtext);
    // Adding an entry does not select it.
    combo->setCurrentIndex(current < 0 ? -1 : (current >= at ? current + 1 : current));
}

void CStationWindow::ComboSetCurSel(int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(Control(id));
    if (combo == nullptr) return;
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void CStationWindow::SetTimer(int id, unsigned periodMs) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_onTimer) m_onTimer(id);
        });
    }
    // Setting a running timer again restarts it with the new period.
    timer->start(static_cast<int>(periodMs));
}

void CStationWindow::KillTimer(int id) {
    if (auto it = m_timers.find(id); it != m_timers.end()) it->second->stop();
}

bool CStationWindow::TimerActive(int id) const {
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

int CStationWindow::MessageBox(const std::string& text, const std::string& caption,
                               unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
        case MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case MB_ICONEXCLAMATION:
            icon = QMessageBox::Warning;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    const bool yesNo = (flags & 0xF) == MB_YESNO;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                    yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, this);
    if (flags & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    const int answer = box.exec();
    if (yesNo) return answer == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}

void CStationWindow::EndDialog(int result) {
    m_bEnded = true;
    m_nEndResult = result;
    done(result);
}

int CStationWindow::InsertColumns(const std::vector<std::string>& captions,
                                  const std::vector<std::uint8_t>& percentages) {
    return m_pFileList->InsertColumns(captions, percentages);
}

int CStationWindow::AddRow(const std::vector<std::string>& texts) {
    return m_pFileList->AddRow(texts);
}

int CStationWindow::DeleteAllRows() {
    return m_pFileList->DeleteAllRows();
}

QString CStationWindow::FilterText(const std::vector<FileFilter>& filters) {
    QStringList entries;
    for (const auto& f : filters) {
        QStringList patterns;
        for (const QString& p :
             QString::fromStdString(f.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << (p.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : p.trimmed());
        }
        entries << QString::fromStdString(f.description) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

std::optional<std::string> CStationWindow::ChooseFileToOpen(
    const std::vector<FileFilter>& filters) {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(), FilterText(filters));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

PasswordReply CStationWindow::RunPasswordPrompt() {
    const int result = m_pPassWordDlg->DoModal();
    return {result, m_pPassWordDlg->m_strPassword};
}

void CStationWindow::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CStationWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutMenuText), this, &CStationWindow::ShowAbout);
    menu.exec(event->globalPos());
}

}  // namespace gf
