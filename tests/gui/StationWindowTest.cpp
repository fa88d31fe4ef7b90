#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "QtTestEnv.h"
#include "gui/AboutDlg.h"
#include "gui/Screenshot.h"
#include "gui/StationWindow.h"
#include "job/JobOwner.h"
#include "widgets/ColorListCtrl.h"
#include "widgets/DialogUnits.h"
#include "widgets/PassWordDlg.h"
#include "widgets/XColorStatic.h"

namespace gf::test {
namespace {

// Runs `act` on the modal widget that `open` brings up, then lets `open` return.
template <class Open>
void WithModal(Open open, std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, [act] { act(QApplication::activeModalWidget()); });
    open();
}

TEST(StationWindow, EveryControlByItsIdentifier) {
    CStationWindow w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Gangflash V2.1"));
    EXPECT_FALSE(w.windowIcon().isNull());
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(qobject_cast<QComboBox*>(w.Control(kPortComboId + i)), nullptr);
        EXPECT_NE(qobject_cast<QProgressBar*>(w.Control(kProgressId + i)), nullptr);
        EXPECT_EQ(qobject_cast<CXColorStatic*>(w.Control(kStatusId + i)), w.StatusText(i));
        EXPECT_NE(qobject_cast<QPushButton*>(w.Control(kStartButtonId + i)), nullptr);
        EXPECT_NE(qobject_cast<QLabel*>(w.Control(kElapsedId + i)), nullptr);
        EXPECT_NE(qobject_cast<QLabel*>(w.Control(kPercentId + i)), nullptr);
        EXPECT_TRUE(w.StatusText(i)->HasOwnFont());
        EXPECT_EQ(w.StatusText(i)->GetStyle() & (SS_CENTER | WS_BORDER), SS_CENTER | WS_BORDER);
    }
    EXPECT_NE(qobject_cast<QLabel*>(w.Control(1050)), nullptr);
    EXPECT_NE(qobject_cast<QPushButton*>(w.Control(1048)), nullptr);
    EXPECT_EQ(qobject_cast<CColorListCtrl*>(w.Control(1061)), w.FileList());
    EXPECT_NE(qobject_cast<QCheckBox*>(w.Control(1060)), nullptr);
    EXPECT_NE(qobject_cast<QPushButton*>(w.Control(1101)), nullptr);
    auto* startAll = qobject_cast<QPushButton*>(w.Control(1100));
    ASSERT_NE(startAll, nullptr);
    EXPECT_TRUE(startAll->isDefault());
    EXPECT_EQ(w.Control(999), nullptr);
}

TEST(StationWindow, LayoutInDialogUnitsStaysOnResize) {
    CStationWindow w;
    const CDialogUnits du(w.font());
    EXPECT_EQ(w.size(), QSize(du.X(482), du.Y(253)));
    struct Case {
        int id, x, y, cx;
    };
    const Case cases[] = {{1050, 50, 9, 370},
                          {1048, 426, 9, 50},
                          {1061, 8, 26, 412},
                          {1100, 426, 56, 50},
                          {1060, 440, 97, 36},
                          {1000, 8, 110, 61},
                          {1013, 73, 110 + 3 * 17, 109},
                          {1057, 183, 110 + 5 * 17, 21},
                          {1047, 205, 110 + 7 * 17, 20},
                          {1022, 227, 110 + 2 * 17, 209},
                          {1031, 439, 110 + 17, 37}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const QRect g = w.Control(c.id)->geometry();
        EXPECT_EQ(g.topLeft(), QPoint(du.X(c.x), du.Y(c.y)));
        EXPECT_EQ(g.width(), du.X(c.cx));
    }
    const QRect before = w.Control(1027)->geometry();
    w.resize(w.width() + 200, w.height() + 100);
    EXPECT_EQ(w.Control(1027)->geometry(), before);
}

TEST(StationWindow, ButtonsAndEnterReachTheCommandHandler) {
    CStationWindow w;
    std::vector<int> commands;
    w.m_onCommand = [&](int id) { commands.push_back(id); };
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.EnableControl(kStartButtonId + 3, true);
    for (int id : {kStartButtonId + 3, 1100, 1101, 1048})
        qobject_cast<QPushButton*>(w.Control(id))->click();
    w.Control(1060)->setFocus();  // not a push button: Enter presses StartAll
    QTest::keyClick(w.Control(1060), Qt::Key_Return);
    EXPECT_EQ(commands, (std::vector<int>{kStartButtonId + 3, 1100, 1101, 1048, 1100}));
}

TEST(StationWindow, TextsProgressChecksAndCombos) {
    CStationWindow w;
    w.SetText(1050, "/pkg/rawprogram0.xml");
    EXPECT_EQ(w.GetText(1050), "/pkg/rawprogram0.xml");
    w.SetText(kPercentId + 2, "45%");
    EXPECT_EQ(w.GetText(kPercentId + 2), "45%");
    w.SetProgressPos(kProgressId + 2, 45);
    EXPECT_EQ(qobject_cast<QProgressBar*>(w.Control(kProgressId + 2))->value(), 45);
    w.SetProgressPos(kProgressId + 2, 140);
    EXPECT_EQ(qobject_cast<QProgressBar*>(w.Control(kProgressId + 2))->value(), 100);

    EXPECT_FALSE(w.IsChecked(1060));
    w.SetCheck(1060, true);
    EXPECT_TRUE(w.IsChecked(1060));

    // A sorted drop-down list: adding does not select, the window text is the
    // selected entry or empty.
    const int combo = kPortComboId + 1;
    w.ComboAddString(combo, "LOAD_COM9");
    w.ComboAddString(combo, "LOAD_COM12");
    EXPECT_EQ(w.GetText(combo), "");
    auto* box = qobject_cast<QComboBox*>(w.Control(combo));
    EXPECT_EQ(box->itemText(0), QStringLiteral("LOAD_COM12"));
    w.ComboSetCurSel(combo, 1);
    EXPECT_EQ(w.GetText(combo), "LOAD_COM9");
    w.ComboAddString(combo, "DIAG_COM3");
    EXPECT_EQ(w.GetText(combo), "LOAD_COM9");
    w.SetText(combo, "LOAD_COM12");
    EXPECT_EQ(w.GetText(combo), "LOAD_COM12");
    w.ComboResetContent(combo);
    EXPECT_EQ(w.GetText(combo), "");
}

TEST(StationWindow, TimersDeliverTheirIdentifier) {
    CStationWindow w;
    std::vector<int> fired;
    w.m_onTimer = [&](int id) { fired.push_back(id); };
    w.SetTimer(3, 0);
    EXPECT_TRUE(w.TimerActive(3));
    while (fired.size() < 2) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    w.KillTimer(3);
    EXPECT_FALSE(w.TimerActive(3));
    EXPECT_EQ(fired, (std::vector<int>{3, 3}));
    w.KillTimer(5);  // never set: nothing happens
}

TEST(StationWindow, MessageBoxCaptionIconButtonsAndAnswer) {
    CStationWindow w;
    struct Case {
        unsigned flags;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton press;
        int answer;
    };
    const Case cases[] = {
        {MB_ICONEXCLAMATION, QMessageBox::Warning, QMessageBox::Ok, IDOK},
        {MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, IDOK},
        {MB_ICONERROR | MB_TOPMOST, QMessageBox::Critical, QMessageBox::Ok, IDOK},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes, IDYES},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::No, IDNO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int result = -1;
        WithModal([&] { result = w.MessageBox("QPST is running.", "Error", c.flags); },
                  [&](QWidget* modal) {
                      auto* box = qobject_cast<QMessageBox*>(modal);
                      ASSERT_NE(box, nullptr);
                      title = box->windowTitle();
                      text = box->text();
                      icon = box->icon();
                      box->button(c.press)->click();
                  });
        EXPECT_EQ(title, QStringLiteral("Error"));
        EXPECT_EQ(text, QStringLiteral("QPST is running."));
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(result, c.answer);
    }
}

TEST(StationWindow, AboutBoxOnF1) {
    CStationWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    QString caption;
    QStringList texts;
    WithModal([&] { QTest::keyClick(&w, Qt::Key_F1); },
              [&](QWidget* modal) {
                  ASSERT_NE(qobject_cast<CAboutDlg*>(modal), nullptr);
                  caption = modal->windowTitle();
                  for (auto* label : modal->findChildren<QLabel*>()) texts << label->text();
                  qobject_cast<QDialog*>(modal)->accept();
              });
    EXPECT_EQ(caption, QStringLiteral("关于 Gangflash"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Gangflash，1.0 版")));
}

TEST(StationWindow, AboutEntryInTheContextMenu) {
    CStationWindow w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        for (QAction* a : menu->actions()) entries << a->text();
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&w, &event);
    EXPECT_EQ(entries, QStringList{QStringLiteral("关于 Gangflash(&A)...")});
}

TEST(StationWindow, PackageViewParts) {
    CStationWindow w;
    EXPECT_EQ(w.InsertColumns({"File Name", "Location"}, {30, 70}), 0);
    EXPECT_EQ(w.AddRow({"boot.img", "/pkg/"}), 0);
    EXPECT_EQ(w.AddRow({"one"}), -1);
    EXPECT_EQ(w.FileList()->RowCount(), 1);
    EXPECT_EQ(w.DeleteAllRows(), 1);
    EXPECT_EQ(w.FileList()->RowCount(), 0);

    EXPECT_EQ(
        CStationWindow::FilterText(
            {{"RawProgram File(rawprogram*.xml)", "rawprogram*.xml"}, {"All Files(*.*)", "*.*"}}),
        QStringLiteral("RawProgram File(rawprogram*.xml) (rawprogram*.xml);;All Files(*.*) (*)"));

    PasswordReply reply{};
    WithModal([&] { reply = w.RunPasswordPrompt(); },
              [](QWidget* modal) {
                  auto* dlg = qobject_cast<CPassWordDlg*>(modal);
                  ASSERT_NE(dlg, nullptr);
                  QTest::keyClicks(dlg->PasswordBox(), "pw");
                  dlg->OkButton()->click();
              });
    EXPECT_EQ(reply.result, IDOK);
    EXPECT_EQ(reply.password, "pw");
}

TEST(StationWindow, FileOpenDialogWithTwoFilters) {
    CStationWindow w;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rawprogram0.xml"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const std::vector<FileFilter> filters = {
        {"RawProgram File(rawprogram*.xml)", "rawprogram*.xml"}, {"All Files(*.*)", "*.*"}};
    QStringList shownFilters;
    std::optional<std::string> chosen;
    WithModal([&] { chosen = w.ChooseFileToOpen(filters); },
              [&](QWidget* modal) {
                  auto* dlg = qobject_cast<QFileDialog*>(modal);
                  ASSERT_NE(dlg, nullptr);
                  shownFilters = dlg->nameFilters();
                  dlg->selectFile(file);
                  static_cast<QDialog*>(dlg)->accept();  // QFileDialog::accept
              });
    ASSERT_EQ(shownFilters.size(), 2);
    EXPECT_TRUE(shownFilters[0].startsWith(QStringLiteral("RawProgram File")));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QFileInfo(QString::fromStdString(*chosen)).canonicalFilePath(),
              QFileInfo(file).canonicalFilePath());

    WithModal([&] { chosen = w.ChooseFileToOpen(filters); },
              [](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(chosen.has_value());
}

TEST(StationWindow, EndDialogAndScreenshot) {
    CStationWindow w;
    QTemporaryDir dir;
    const std::string png = dir.filePath(QStringLiteral("station.png")).toStdString();
    ASSERT_TRUE(RenderScreenshot(w, png));
    const QImage shot(QString::fromStdString(png));
    EXPECT_EQ(shot.size(), w.size());
    EXPECT_FALSE(RenderScreenshot(w, dir.filePath(QStringLiteral("missing/x.png")).toStdString()));

    EXPECT_FALSE(w.Ended());
    w.EndDialog(0);
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(w.EndResult(), 0);
}

}  // namespace
}  // namespace gf::test
