#include "ColorListCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <numeric>

#include "SysColor.h"

namespace gf {

namespace {

constexpr int kParamRole = Qt::UserRole;

CMyLParam* ParamOf(const QTreeWidgetItem* item) {
    if (item == nullptr) return nullptr;
    const QVariant v = item->data(0, kParamRole + 1);
    return v.isValid() ? reinterpret_cast<CMyLParam*>(v.value<quintptr>()) : nullptr;
}

void DrawCellText(QPainter& painter, const QRect& cell, const QString& text) {
    const QRect textRect = cell.adjusted(1, 1, -1, -1);
    painter.save();
    painter.setClipRect(textRect);
    painter.drawText(textRect,
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                     text);
    painter.restore();
}

}  // namespace

CColorListCtrl::CColorListCtrl(int columns, QWidget* parent)
    : QTreeWidget(parent), m_nColumns(columns) {
    setRootIsDecorated(false);
    setIndentation(0);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setColumnCount(0);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

CColorListCtrl::~CColorListCtrl() {
    DeleteAllRows();
}

int CColorListCtrl::InsertColumns(const std::vector<std::string>* captions,
                                  const std::vector<std::uint8_t>* percentages) {
    if (captions == nullptr || percentages == nullptr) return 1;
    if (static_cast<int>(captions->size()) != m_nColumns) return 2;
    if (percentages->size() != captions->size()) return 3;
    const int total = std::accumulate(percentages->begin(), percentages->end(), 0);
    if (captions->empty() || total != 100) return 4;

    const int usable = width() - 20;
    QStringList labels;
    for (const auto& c : *captions) labels << QString::fromStdString(c);
    setColumnCount(m_nColumns);
    setHeaderLabels(labels);
    for (int i = 0; i < m_nColumns; ++i) {
        header()->resizeSection(i, (*percentages)[static_cast<std::size_t>(i)] * usable / 100);
    }
    return 0;
}

int CColorListCtrl::AddRow(const std::vector<std::string>* texts) {
    if (texts == nullptr || static_cast<int>(texts->size()) != m_nColumns) return -1;
    auto* item = new QTreeWidgetItem();
    for (int i = 0; i < m_nColumns; ++i) {
        item->setText(i, QString::fromStdString((*texts)[static_cast<std::size_t>(i)]));
    }
    auto* param = new CMyLParam(m_nColumns, GetSysColor(COLOR_WINDOW, this),
                                GetSysColor(COLOR_WINDOWTEXT, this));
    item->setData(0, kParamRole + 1, QVariant::fromValue(reinterpret_cast<quintptr>(param)));
    // Room for descenders below the one-pixel text margin of the cells.
    item->setSizeHint(0, QSize(0, fontMetrics().height() + 4));
    addTopLevelItem(item);
    return topLevelItemCount() - 1;
}

int CColorListCtrl::DeleteAllRows() {
    while (topLevelItemCount() > 0) {
        QTreeWidgetItem* item = topLevelItem(0);
        if (CMyLParam* param = ParamOf(item)) {
            item->setData(0, kParamRole, param->lUserParam);
            item->setData(0, kParamRole + 1, QVariant());
            delete param;
        }
        delete takeTopLevelItem(0);
    }
    return 1;
}

bool CColorListCtrl::SetCellColors(int row, int column, COLORREF back, COLORREF text) {
    CMyLParam* param = RowParam(row);
    if (param == nullptr || column < 0 || column >= param->nCount) return false;
    param->pBackColors[static_cast<std::size_t>(column)] = back;
    param->pTextColors[static_cast<std::size_t>(column)] = text;
    viewport()->update();
    return true;
}

CMyLParam* CColorListCtrl::RowParam(int row) const {
    return ParamOf(topLevelItem(row));
}

CColorListCtrl::DrawMode CColorListCtrl::ChooseDrawMode(unsigned action, bool listHasFocus,
                                                        bool rowFocused, bool highlighted) {
    if (action & ODA_FOCUS) {
        if (!listHasFocus) return DrawMode::Inactive;
        if (rowFocused) return DrawMode::Focus;
        return highlighted ? DrawMode::Selected : DrawMode::Normal;
    }
    if (action & ODA_SELECT) {
        if (!highlighted) return DrawMode::Normal;
        return listHasFocus ? DrawMode::Selected : DrawMode::Inactive;
    }
    if (!listHasFocus) return highlighted ? DrawMode::Inactive : DrawMode::Normal;
    if (rowFocused) return DrawMode::Focus;
    return highlighted ? DrawMode::Selected : DrawMode::Normal;
}

QRect CColorListCtrl::CellRect(const QRect& row, int column) const {
    int left = row.left();
    for (int c = 0; c < column; ++c) left += header()->sectionSize(c);
    return QRect(left, row.top(), header()->sectionSize(column), row.height());
}

void CColorListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    m_bDrawn = true;
    const QTreeWidgetItem* item = itemFromIndex(index);
    const CMyLParam* param = ParamOf(item);
    if (param == nullptr) return;

    // Qt repaints whole rows, which is the "entire row" request.
    const bool listHasFocus = hasFocus();
    const bool selected = item->isSelected();
    const bool highlighted = selected && (listHasFocus || m_bShowSelAlways);
    const bool rowFocused = currentIndex().isValid() && currentIndex().row() == index.row();
    const DrawMode mode = ChooseDrawMode(ODA_DRAWENTIRE, listHasFocus, rowFocused, highlighted);

    int rowWidth = 0;
    for (int c = 0; c < header()->count(); ++c) rowWidth += header()->sectionSize(c);
    const QRect row(-horizontalScrollBar()->value(), option.rect.top(), rowWidth,
                    option.rect.height());

    painter->save();
    painter->setFont(font());
    if (mode == DrawMode::Normal) {
        for (int c = 0; c < m_nColumns; ++c) {
            const bool known = c < param->nCount;
            const COLORREF back = known ? param->pBackColors[static_cast<std::size_t>(c)]
                                        : GetSysColor(COLOR_WINDOW, this);
            const COLORREF text = known ? param->pTextColors[static_cast<std::size_t>(c)]
                                        : GetSysColor(COLOR_WINDOWTEXT, this);
            const QRect cell = CellRect(row, c);
            painter->fillRect(cell, ToQColor(back));
            painter->setPen(ToQColor(text));
            DrawCellText(*painter, cell, item->text(c));
        }
    } else {
        const bool inactive = mode == DrawMode::Inactive;
        const QColor fill =
            ToQColor(GetSysColor(inactive ? COLOR_INACTIVECAPTION : COLOR_ACTIVECAPTION, this));
        painter->fillRect(row, fill);
        if (inactive) {
            painter->setPen(QPen(fill, 0, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(row.adjusted(0, 0, -1, -1));
        } else if (mode == DrawMode::Focus) {
            painter->setPen(QPen(ToQColor(GetSysColor(COLOR_HIGHLIGHTTEXT, this)), 0, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(row.adjusted(0, 0, -1, -1));
        }
        painter->setPen(
            ToQColor(GetSysColor(inactive ? COLOR_WINDOWTEXT : COLOR_HIGHLIGHTTEXT, this)));
        for (int c = 0; c < m_nColumns; ++c)
            DrawCellText(*painter, CellRect(row, c), item->text(c));
    }
    painter->restore();
}

void CColorListCtrl::paintEvent(QPaintEvent* event) {
    QTreeWidget::paintEvent(event);
    DrawSeparators();
}

void CColorListCtrl::DrawSeparators() {
    // The viewport starts below the header, so the lines run from its top.
    QPainter painter(viewport());
    painter.setPen(QPen(ToQColor(GetSysColor(COLOR_HIGHLIGHTTEXT, this)), 0, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    const QRect client = viewport()->rect();
    int x = -horizontalScrollBar()->value();
    for (int i = 0; i < header()->count(); ++i) {
        x += header()->sectionSize(i);
        if (x >= client.right() + 1) break;
        painter.drawLine(x - 1, client.top(), x - 1, client.bottom());
    }
}

void CColorListCtrl::RepaintFocusRows() {
    QRegion region;
    if (const QModelIndex current = currentIndex(); current.isValid()) {
        region += visualRect(current).adjusted(-viewport()->width(), 0, viewport()->width(), 0);
    }
    if (m_bShowSelAlways) {
        for (const QTreeWidgetItem* item : selectedItems()) {
            region +=
                visualItemRect(item).adjusted(-viewport()->width(), 0, viewport()->width(), 0);
        }
    }
    // Repainted on the event loop's next pass.
    if (!region.isEmpty()) viewport()->update(region);
}

void CColorListCtrl::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    RepaintFocusRows();
}

void CColorListCtrl::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    // Focus moving into a child of the list (an in-place editor) keeps the rows.
    const QWidget* next = QApplication::focusWidget();
    if (next != nullptr && isAncestorOf(next)) return;
    RepaintFocusRows();
}

void CColorListCtrl::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    if (m_bDrawn) viewport()->update();
}

}  // namespace gf
