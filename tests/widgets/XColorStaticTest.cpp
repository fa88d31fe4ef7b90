#include <gtest/gtest.h>

#include <QEvent>
#include <QFont>
#include <QTest>

#include "QtTestEnv.h"
#include "widgets/SysColor.h"
#include "widgets/XColorStatic.h"

namespace gf::test {
namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

std::unique_ptr<CXColorStatic> MakeStatic(unsigned style, const char* text, QSize size) {
    auto s = std::make_unique<CXColorStatic>(nullptr, style);
    QFont f = s->font();
    f.setPixelSize(16);
    f.setBold(true);
    s->setFont(f);
    s->Attach();
    s->resize(size);
    s->SetWindowText(text);
    return s;
}

TEST(XColorStatic, NeverColouredShowsButtonTextOnButtonFace) {
    ASSERT_TRUE(HaveFont());
    auto s = MakeStatic(SS_CENTER | SS_CENTERIMAGE, "MMMM", {200, 40});
    EXPECT_EQ(s->GetTextColor(), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(s->GetBkColor(), GetSysColor(COLOR_BTNFACE));
    const QImage img = Grab(*s);
    EXPECT_EQ(img.pixelColor(1, 1).rgb(), ToQColor(GetSysColor(COLOR_BTNFACE)).rgb());
    EXPECT_TRUE(HasPixel(img, img.rect(), ToQColor(GetSysColor(COLOR_BTNTEXT))));
}

TEST(XColorStatic, SettersRepaintAtOnceAndKeepTheOtherColour) {
    ASSERT_TRUE(HaveFont());
    auto s = MakeStatic(SS_CENTER | SS_CENTERIMAGE, "MMMM", {200, 40});
    s->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.get()));
    PaintCounter counter;
    s->installEventFilter(&counter);

    s->SetBkColor(RGB(0, 0, 255));
    EXPECT_EQ(counter.paints, 1);  // painted before the setter returned
    s->SetTextColor(RGB(255, 255, 0));
    EXPECT_EQ(counter.paints, 2);

    const QImage img = Grab(*s);
    EXPECT_EQ(img.pixelColor(1, 1), QColor(0, 0, 255));
    EXPECT_TRUE(HasPixel(img, img.rect(), QColor(255, 255, 0)));
    s->removeEventFilter(&counter);
}

// Where the text lands for the style bits: horizontal alignment, and either a
// single vertically centred line or word wrapping from the top.
TEST(XColorStatic, StyleBitsPlaceAndWrapTheText) {
    ASSERT_TRUE(HaveFont());
    struct Case {
        const char* name;
        unsigned style;
        const char* text;
        char horizontal;  // 'L', 'C', 'R'
        bool vcentred;
        bool wrapped;
    };
    const Case cases[] = {
        {"left, top", SS_LEFT, "MM", 'L', false, false},
        {"right", SS_RIGHT, "MM", 'R', false, false},
        {"centre wins over right", SS_CENTER | SS_RIGHT, "MM", 'C', false, false},
        {"centre image: one centred line", SS_CENTER | SS_CENTERIMAGE, "MM", 'C', true, false},
        {"no centre image: wraps", SS_CENTER, "MMM MMM MMM MMM", 'C', false, true},
        {"centre image: no wrap", SS_LEFT | SS_CENTERIMAGE, "MMM MMM MMM MMM", 'L', true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = MakeStatic(c.style, c.text, {120, 100});
        s->SetBkColor(RGB(255, 255, 255));
        s->SetTextColor(RGB(0, 0, 0));
        const QImage img = Grab(*s);
        const QRect ink = InkBox(img, img.rect(), Qt::white);
        ASSERT_FALSE(ink.isEmpty());
        const int line = QFontMetrics(s->font()).height();
        switch (c.horizontal) {
            case 'L':
                EXPECT_LE(ink.left(), 3);
                break;
            case 'R':
                EXPECT_GE(ink.right(), 116);
                break;
            default:
                if (!c.wrapped) {
                    EXPECT_NEAR(ink.center().x(), 60, 3);
                }
                break;
        }
        if (c.vcentred) {
            EXPECT_NEAR(ink.center().y(), 50, 4);
        } else {
            EXPECT_LE(ink.top(), line);
        }
        if (c.wrapped) {
            EXPECT_GT(ink.height(), line * 3 / 2);
        } else {
            EXPECT_LT(ink.height(), line);
        }
    }
}

TEST(XColorStatic, KeepsTheFontItHadWhenAttached) {
    ASSERT_TRUE(HaveFont());
    auto s = MakeStatic(SS_LEFT | SS_CENTERIMAGE, "MM", {200, 80});
    s->SetBkColor(RGB(255, 255, 255));
    s->SetTextColor(RGB(0, 0, 0));
    const QRect before = InkBox(Grab(*s), s->rect(), Qt::white);
    QFont big = s->font();
    big.setPixelSize(40);
    s->setFont(big);
    const QRect after = InkBox(Grab(*s), s->rect(), Qt::white);
    EXPECT_EQ(before.size(), after.size());
}

TEST(XColorStatic, AmpersandMarksAMnemonic) {
    ASSERT_TRUE(HaveFont());
    auto plain = MakeStatic(SS_LEFT | SS_CENTERIMAGE, "MM", {200, 40});
    auto amp = MakeStatic(SS_LEFT | SS_CENTERIMAGE, "&MM", {200, 40});
    for (auto* s : {plain.get(), amp.get()}) {
        s->SetBkColor(RGB(255, 255, 255));
        s->SetTextColor(RGB(0, 0, 0));
    }
    // The '&' is not drawn: both texts are as wide.
    EXPECT_NEAR(InkBox(Grab(*plain), plain->rect(), Qt::white).width(),
                InkBox(Grab(*amp), amp->rect(), Qt::white).width(), 2);
}

}  // namespace
}  // namespace gf::test
