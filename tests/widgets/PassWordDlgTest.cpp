#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "QtTestEnv.h"
#include "platform/View.h"
#include "widgets/PassWordDlg.h"

namespace gf::test {
namespace {

// Runs one prompt: once it is up, `act` types and closes it.
int Prompt(CPassWordDlg& dlg, std::function<void(CPassWordDlg&)> act) {
    QTimer::singleShot(0, &dlg, [&dlg, act] { act(dlg); });
    return dlg.DoModal();
}

TEST(PassWordDlg, TemplateTexts) {
    CPassWordDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("PassWord"));
    EXPECT_EQ(dlg.OkButton()->text(), QStringLiteral("确定"));
    EXPECT_EQ(dlg.CancelButton()->text(), QStringLiteral("取消"));
    EXPECT_TRUE(dlg.OkButton()->isDefault());
    EXPECT_EQ(dlg.PasswordBox()->echoMode(), QLineEdit::Password);
}

TEST(PassWordDlg, OkOnAnEmptyBoxGivesAnEmptyPassword) {
    CPassWordDlg dlg;
    EXPECT_EQ(Prompt(dlg, [](CPassWordDlg& d) { d.OkButton()->click(); }), IDOK);
    EXPECT_EQ(dlg.m_strPassword, "");
}

TEST(PassWordDlg, TypedTextIsMaskedAndKeptAcrossCancelledPrompts) {
    CPassWordDlg dlg;
    QString shown;
    EXPECT_EQ(Prompt(dlg,
                     [&shown](CPassWordDlg& d) {
                         QTest::keyClicks(d.PasswordBox(), "se cret");
                         shown = d.PasswordBox()->displayText();
                         QTest::keyClick(d.PasswordBox(), Qt::Key_Return);  // Enter is OK
                     }),
              IDOK);
    EXPECT_EQ(shown, QStringLiteral("*******"));
    EXPECT_EQ(dlg.m_strPassword, "se cret");

    // Later prompts start empty; Cancel and Escape leave the password alone.
    QString boxAtOpen = QStringLiteral("?");
    EXPECT_EQ(Prompt(dlg,
                     [&boxAtOpen](CPassWordDlg& d) {
                         boxAtOpen = d.PasswordBox()->text();
                         QTest::keyClicks(d.PasswordBox(), "other");
                         d.CancelButton()->click();
                     }),
              IDCANCEL);
    EXPECT_EQ(boxAtOpen, QString());
    EXPECT_EQ(Prompt(dlg,
                     [](CPassWordDlg& d) {
                         QTest::keyClicks(d.PasswordBox(), "third");
                         QTest::keyClick(d.PasswordBox(), Qt::Key_Escape);
                     }),
              IDCANCEL);
    EXPECT_EQ(dlg.m_strPassword, "se cret");
}

}  // namespace
}  // namespace gf::test
