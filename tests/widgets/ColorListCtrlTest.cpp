#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>

#include "QtTestEnv.h"
#include "widgets/ColorListCtrl.h"
#include "widgets/SysColor.h"

namespace gf::test {
namespace {

using Captions = std::vector<std::string>;
using Percents = std::vector<std::uint8_t>;
using Mode = CColorListCtrl::DrawMode;

TEST(ColorListCtrl, InsertColumnsCodesAndWidths) {
    struct Case {
        const char* name;
        int columns;
        std::optional<Captions> captions;
        std::optional<Percents> percents;
        int expected;
    };
    const Case cases[] = {
        {"captions missing", 2, std::nullopt, Percents{30, 70}, 1},
        {"percentages missing", 2, Captions{"a", "b"}, std::nullopt, 1},
        {"three captions on two columns", 2, Captions{"a", "b", "c"}, Percents{30, 30, 40}, 2},
        {"one percentage for two captions", 2, Captions{"a", "b"}, Percents{100}, 3},
        {"30 and 60", 2, Captions{"a", "b"}, Percents{30, 60}, 4},
        {"no columns", 0, Captions{}, Percents{}, 4},
        {"30 and 70", 2, Captions{"File Name", "Location"}, Percents{30, 70}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CColorListCtrl list(c.columns);
        list.resize(421, 150);
        const int code = list.InsertColumns(c.captions ? &*c.captions : nullptr,
                                            c.percents ? &*c.percents : nullptr);
        EXPECT_EQ(code, c.expected);
        if (code != 0) {
            EXPECT_EQ(list.columnCount(), 0);
            continue;
        }
        ASSERT_EQ(list.columnCount(), 2);
        EXPECT_EQ(list.headerItem()->text(0), QStringLiteral("File Name"));
        EXPECT_EQ(list.headerItem()->text(1), QStringLiteral("Location"));
        EXPECT_EQ(list.header()->sectionSize(0), 30 * (421 - 20) / 100);  // 120, truncated
        EXPECT_EQ(list.header()->sectionSize(1), 70 * (421 - 20) / 100);  // 280
    }
}

TEST(ColorListCtrl, AddRowAndDeleteAllRows) {
    CColorListCtrl list(2);
    list.resize(300, 150);
    ASSERT_EQ(list.InsertColumns(Captions{"a", "b"}, Percents{50, 50}), 0);
    EXPECT_EQ(list.DeleteAllRows(), 1);  // empty list

    EXPECT_EQ(list.AddRow(nullptr), -1);
    EXPECT_EQ(list.AddRow(Captions{"only one"}), -1);
    EXPECT_EQ(list.RowCount(), 0);

    EXPECT_EQ(list.AddRow(Captions{"boot.img", "/pkg/"}), 0);
    EXPECT_EQ(list.AddRow(Captions{"system.img", "/pkg/"}), 1);
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.topLevelItem(1)->text(0), QStringLiteral("system.img"));
    const CMyLParam* param = list.RowParam(0);
    ASSERT_NE(param, nullptr);
    EXPECT_EQ(param->nCount, 2);
    EXPECT_EQ(param->lUserParam, 0);
    EXPECT_EQ(param->pBackColors, std::vector<COLORREF>(2, GetSysColor(COLOR_WINDOW, &list)));
    EXPECT_EQ(param->pTextColors, std::vector<COLORREF>(2, GetSysColor(COLOR_WINDOWTEXT, &list)));

    // A row added behind the list's back carries no colours.
    auto* plain = new QTreeWidgetItem(QStringList{"x", "y"});
    list.addTopLevelItem(plain);
    EXPECT_EQ(list.RowParam(2), nullptr);
    EXPECT_EQ(list.DeleteAllRows(), 1);
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(ColorListCtrl, DrawModeTable) {
    const unsigned F = CColorListCtrl::ODA_FOCUS, S = CColorListCtrl::ODA_SELECT,
                   E = CColorListCtrl::ODA_DRAWENTIRE;
    struct Case {
        unsigned action;
        bool listFocus, rowFocused, highlighted;
        Mode mode;
    };
    const Case cases[] = {
        {F, false, true, true, Mode::Inactive},  {F, false, false, false, Mode::Inactive},
        {F, true, true, false, Mode::Focus},     {F | S, true, false, true, Mode::Selected},
        {F, true, false, false, Mode::Normal},   {S, true, true, true, Mode::Selected},
        {S, false, false, true, Mode::Inactive}, {S, true, true, false, Mode::Normal},
        {S, false, false, false, Mode::Normal},  {E, false, true, true, Mode::Inactive},
        {E, false, false, false, Mode::Normal},  {E, true, true, false, Mode::Focus},
        {E, true, false, true, Mode::Selected},  {E, true, false, false, Mode::Normal},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(
            CColorListCtrl::ChooseDrawMode(c.action, c.listFocus, c.rowFocused, c.highlighted),
            c.mode);
    }
}

class ColorListPixels : public ::testing::Test {
protected:
    void SetUp() override {
        list.resize(300, 160);
        ASSERT_EQ(list.InsertColumns(Captions{"File Name", "Location"}, Percents{30, 70}), 0);
        list.AddRow(Captions{"boot.img", "/pkg/"});
        list.AddRow(Captions{"system.img", "/pkg/"});
    }
    // A point inside row `row`, column `column`, in the viewport's image.
    QPoint CellPoint(int row, int column) const {
        const QRect r = list.visualItemRect(list.topLevelItem(row));
        int x = 4;
        for (int c = 0; c < column; ++c) x += list.header()->sectionSize(c);
        return {x, r.top() + 1};
    }
    QColor Pixel(const QPoint& p) { return Grab(*list.viewport()).pixelColor(p); }

    CColorListCtrl list{2};
};

TEST_F(ColorListPixels, NormalRowsUseTheirCellColours) {
    ASSERT_TRUE(list.SetCellColors(1, 1, RGB(255, 0, 0), RGB(0, 0, 255)));
    EXPECT_FALSE(list.SetCellColors(1, 2, 0, 0));
    EXPECT_EQ(Pixel(CellPoint(1, 1)), QColor(255, 0, 0));
    EXPECT_EQ(Pixel(CellPoint(1, 0)), ToQColor(GetSysColor(COLOR_WINDOW, &list)));
}

TEST_F(ColorListPixels, SelectedRowWithoutFocusUsesInactiveCaption) {
    list.topLevelItem(0)->setSelected(true);
    ASSERT_FALSE(list.hasFocus());
    EXPECT_EQ(Pixel(CellPoint(0, 1)), ToQColor(GetSysColor(COLOR_INACTIVECAPTION)));
    EXPECT_EQ(Pixel(CellPoint(1, 1)), ToQColor(GetSysColor(COLOR_WINDOW, &list)));

    // Without "show selection always" the unfocused selection is not shown.
    list.SetShowSelAlways(false);
    EXPECT_EQ(Pixel(CellPoint(0, 1)), ToQColor(GetSysColor(COLOR_WINDOW, &list)));
}

TEST_F(ColorListPixels, FocusedListDrawsItsCurrentRowInActiveCaption) {
    list.show();
    QApplication::setActiveWindow(&list);
    list.setFocus();
    list.setCurrentItem(list.topLevelItem(1));
    if (!list.hasFocus()) GTEST_SKIP() << "the platform gives no keyboard focus";
    EXPECT_EQ(Pixel(CellPoint(1, 0)), ToQColor(GetSysColor(COLOR_ACTIVECAPTION)));
    EXPECT_EQ(Pixel(CellPoint(0, 0)), ToQColor(GetSysColor(COLOR_WINDOW, &list)));
}

TEST_F(ColorListPixels, RowWithoutColoursIsNotDrawn) {
    auto* plain = new QTreeWidgetItem(QStringList{"x", "y"});
    list.addTopLevelItem(plain);
    plain->setSelected(true);  // would be filled if it were drawn
    EXPECT_EQ(Pixel(CellPoint(2, 1)), ToQColor(GetSysColor(COLOR_WINDOW, &list)));
}

// Column separators: dotted lines in the highlight-text colour at each column's
// right edge less one, following the horizontal scroll position.
class Separators : public ::testing::Test {
protected:
    void SetUp() override {
        QPalette p = list.palette();
        p.setColor(QPalette::Base, Qt::black);
        p.setColor(QPalette::HighlightedText, Qt::white);
        list.setPalette(p);
        list.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        list.resize(320, 200);
        list.show();
        QApplication::processEvents();
    }
    // Whether column x of the viewport holds any separator dot.
    bool LineAt(const QImage& img, int x) {
        return x >= 0 && x < img.width() && HasPixel(img, QRect(x, 0, 1, img.height()), Qt::white);
    }
    CColorListCtrl list{3};
};

TEST_F(Separators, FollowHorizontalScrolling) {
    ASSERT_EQ(list.InsertColumns(Captions{"a", "b", "c"}, Percents{40, 40, 20}), 0);
    const int w0 = list.header()->sectionSize(0), w1 = list.header()->sectionSize(1);
    list.header()->resizeSection(2, 400);  // wide enough to scroll
    QApplication::processEvents();
    ASSERT_GT(list.horizontalScrollBar()->maximum(), 30);

    QImage img = Grab(*list.viewport());
    EXPECT_TRUE(LineAt(img, w0 - 1));
    EXPECT_TRUE(LineAt(img, w0 + w1 - 1));
    EXPECT_FALSE(LineAt(img, w0 + 5));

    list.horizontalScrollBar()->setValue(30);
    QApplication::processEvents();
    img = Grab(*list.viewport());
    EXPECT_TRUE(LineAt(img, w0 - 1 - 30));
    EXPECT_TRUE(LineAt(img, w0 + w1 - 1 - 30));
    EXPECT_FALSE(LineAt(img, w0 - 1));
}

TEST_F(Separators, NoneAtTheRightEdge) {
    ASSERT_EQ(list.InsertColumns(Captions{"a", "b", "c"}, Percents{40, 40, 20}), 0);
    // The columns end exactly at the viewport's right edge.
    const int width = list.viewport()->width();
    const int w0 = list.header()->sectionSize(0), w1 = list.header()->sectionSize(1);
    list.header()->resizeSection(2, width - w0 - w1);
    QApplication::processEvents();
    const QImage img = Grab(*list.viewport());
    EXPECT_TRUE(LineAt(img, w0 + w1 - 1));
    EXPECT_FALSE(LineAt(img, width - 1));
}

}  // namespace
}  // namespace gf::test
