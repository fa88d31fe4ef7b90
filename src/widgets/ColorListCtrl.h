#pragma once

#include <QTreeWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/View.h"

namespace gf {

// The colours of one row, stored as the row's item data: one background and
// one text colour per column, in the window's default colours when created.
struct CMyLParam {
    CMyLParam(int columns, COLORREF back, COLORREF text)
        : pBackColors(static_cast<std::size_t>(columns), back),
          pTextColors(static_cast<std::size_t>(columns), text),
          nCount(columns) {}
    virtual ~CMyLParam() = default;

    std::int32_t lUserParam = 0;  // written back as the row's item data when freed
    std::vector<COLORREF> pBackColors;
    std::vector<COLORREF> pTextColors;
    std::int32_t nCount;
};

// A report list that draws every row itself, each cell in its own colours,
// and draws dotted column separators over its own painting. Rows are added
// with AddRow, which gives each row its CMyLParam; the row owns it. UI thread.
class CColorListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum class DrawMode { Normal, Selected, Focus, Inactive };
    // The parts of a row-draw request that changed (owner-draw action flags).
    enum : unsigned { ODA_DRAWENTIRE = 0x1, ODA_SELECT = 0x2, ODA_FOCUS = 0x4 };

    explicit CColorListCtrl(int columns, QWidget* parent = nullptr);
    ~CColorListCtrl() override;

    // 0 after inserting the columns; 1 when a list is missing, 2 when the
    // captions do not match the column count, 3 when the percentages do not
    // match the captions, 4 when there are no columns or the percentages do
    // not add up to 100. Widths are percentages of the control's width less 20.
    int InsertColumns(const std::vector<std::string>* captions,
                      const std::vector<std::uint8_t>* percentages);
    int InsertColumns(const std::vector<std::string>& captions,
                      const std::vector<std::uint8_t>& percentages) {
        return InsertColumns(&captions, &percentages);
    }
    // The new row's index, or -1 (nothing inserted) when texts is missing or
    // does not hold one text per column.
    int AddRow(const std::vector<std::string>* texts);
    int AddRow(const std::vector<std::string>& texts) { return AddRow(&texts); }
    // Removes every row and frees its colours. Returns 1.
    int DeleteAllRows();

    // Colours of one cell, used when the row is drawn in normal mode. False for
    // a row without colours or a column beyond them.
    bool SetCellColors(int row, int column, COLORREF back, COLORREF text);
    CMyLParam* RowParam(int row) const;
    int RowCount() const { return topLevelItemCount(); }
    int Columns() const { return m_nColumns; }

    // With it on (the station's list) a selected row stays highlighted while
    // the list has no focus.
    void SetShowSelAlways(bool on) { m_bShowSelAlways = on; }
    bool ShowSelAlways() const { return m_bShowSelAlways; }

    // The drawing mode of a row for a draw request's action flags, the list's
    // focus, the row's focus state and whether it counts as highlighted.
    static DrawMode ChooseDrawMode(unsigned action, bool listHasFocus, bool rowFocused,
                                   bool highlighted);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect CellRect(const QRect& row, int column) const;
    void RepaintFocusRows();
    void DrawSeparators();

    int m_nColumns;
    mutable bool m_bDrawn = false;
    bool m_bShowSelAlways = true;
};

}  // namespace gf
