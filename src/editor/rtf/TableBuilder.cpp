#include "TableBuilder.h"

#include "ReaderState.h"

#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <set>

namespace lumorra::rtf {
namespace {

// A table that grows wider than this takes its further cells into its last column.
constexpr int MaxTableColumns = 64;

// The format properties of a cell's borders, side by side: top, left, bottom, right.
constexpr int BorderWidths[4] = {QTextFormat::TableCellTopBorder, QTextFormat::TableCellLeftBorder,
                                 QTextFormat::TableCellBottomBorder,
                                 QTextFormat::TableCellRightBorder};
constexpr int BorderBrushes[4] = {
    QTextFormat::TableCellTopBorderBrush, QTextFormat::TableCellLeftBorderBrush,
    QTextFormat::TableCellBottomBorderBrush, QTextFormat::TableCellRightBorderBrush};
constexpr int BorderStyles[4] = {
    QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellLeftBorderStyle,
    QTextFormat::TableCellBottomBorderStyle, QTextFormat::TableCellRightBorderStyle};

} // namespace

void TableBuilder::startRow(int depth) {
    rowTarget_ = depth;
    rows_[rowTarget_] = RowDefinition{};
    cell_ = CellDefinition{};
    borderSide_ = -1;
}

void TableBuilder::rowWord(RowWord word, int p) {
    // What \clmgf, \clmrg, \clvmgf and \clvmrg mark a cell as.
    static constexpr bool CellDefinition::*Marks[] = {
        &CellDefinition::mergeFirst, &CellDefinition::merged, &CellDefinition::verticalFirst,
        &CellDefinition::verticalMerged};
    // The word's place among the words from `first` on.
    const auto from = [&](RowWord first) {
        return static_cast<int>(word) - static_cast<int>(first);
    };
    RowDefinition& row = rows_[rowTarget_];
    switch (word) {
    case RowWord::Gap:
        row.gap = std::clamp(p, 0, 2000);
        break;
    case RowWord::Left:
        row.left = p;
        break;
    case RowWord::CellEdge:
        if (row.cells.size() < MaxTableColumns) {
            cell_.right = p;
            row.cells.push_back(cell_);
        }
        cell_ = CellDefinition{};
        borderSide_ = -1;
        break;
    case RowWord::MergeFirst:
    case RowWord::Merged:
    case RowWord::VerticalFirst:
    case RowWord::VerticalMerged:
        cell_.*Marks[from(RowWord::MergeFirst)] = true;
        break;
    case RowWord::Shading:
        cell_.shading = p;
        break;
    case RowWord::AlignTop:
    case RowWord::AlignCentre:
    case RowWord::AlignBottom:
        cell_.verticalAlignment = from(RowWord::AlignTop);
        break;
    case RowWord::BorderTop:
    case RowWord::BorderLeft:
    case RowWord::BorderBottom:
    case RowWord::BorderRight:
        borderSide_ = from(RowWord::BorderTop);
        cell_.borderWidth[borderSide_] = 15;
        break;
    case RowWord::OtherBorder:
        borderSide_ = -1; // the border words that follow have sides of their own
        break;
    case RowWord::BorderWidth:
    case RowWord::BorderColour:
    case RowWord::NoBorder:
        if (borderSide_ < 0)
            break;
        if (word == RowWord::BorderColour)
            cell_.borderColour[borderSide_] = p;
        else
            cell_.borderWidth[borderSide_] = word == RowWord::NoBorder ? -1 : std::clamp(p, 1, 255);
        break;
    }
}

void TableBuilder::enter(int depth) {
    while (static_cast<int>(tables_.size()) > depth)
        closeTable();
    if (!tables_.empty() && static_cast<int>(tables_.size()) <= depth) {
        OpenTable& t = tables_.back();
        if (t.next == Next::Row) {
            // Rows come in stock: a table's layout is worked out afresh each time it grows,
            // so a row at a time would take time growing as the square of the rows.
            if (t.row + 1 >= t.table->rows())
                t.table->appendRows(std::clamp(t.table->rows(), 1, 1024));
            ++t.row;
            t.column = 0;
        } else if (t.next == Next::Cell) {
            ++t.column;
            if (t.column >= t.table->columns()) {
                if (t.table->columns() < MaxTableColumns)
                    t.table->appendColumns(1);
                t.column = t.table->columns() - 1;
            }
        }
        if (t.next != Next::Here) {
            t.next = Next::Here;
            cursor_ = t.table->cellAt(t.row, t.column).lastCursorPosition();
        }
    }
    while (static_cast<int>(tables_.size()) < depth)
        openTable();
}

void TableBuilder::openTable() {
    QTextTableFormat format;
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(4);
    format.setBorderCollapse(true);
    // The table follows the paragraph before it, not an empty one of its own.
    const QTextBlock previous = cursor_.block().previous();
    if (cursor_.block().length() <= 1 && previous.isValid() &&
        QTextCursor(previous).currentFrame() == cursor_.currentFrame())
        cursor_.deletePreviousChar();
    OpenTable t;
    t.table = cursor_.insertTable(1, 1, format);
    tables_.push_back(t);
    cursor_ = t.table->cellAt(0, 0).firstCursorPosition();
}

void TableBuilder::endCell() {
    tables_.back().next = Next::Cell;
}

void TableBuilder::endRow(int depth) {
    while (static_cast<int>(tables_.size()) > depth)
        closeTable();
    OpenTable& t = tables_.back();
    applyRow(t, rows_[depth]);
    t.next = Next::Row;
}

void TableBuilder::closeTable() {
    finishTable(tables_.back());
    QTextCursor after = tables_.back().table->lastCursorPosition();
    after.movePosition(QTextCursor::NextBlock);
    cursor_ = after;
    tables_.pop_back();
}

void TableBuilder::closeAll() {
    while (!tables_.empty())
        closeTable();
}

// The row's cell formats; its merges and the table's column widths wait for the table's end.
void TableBuilder::applyRow(OpenTable& t, const RowDefinition& def) {
    QTextTable* table = t.table;
    if (static_cast<int>(t.rows.size()) <= t.row)
        t.rows.resize(t.row + 1);
    t.rows[t.row] = def;
    const int cells = std::min(static_cast<int>(def.cells.size()), table->columns());
    for (int i = 0; i < cells; ++i) {
        QTextTableCell cell = table->cellAt(t.row, i);
        if (cell.row() == t.row && cell.column() == i)
            cell.setFormat(cellFormat(def.cells[i], cell.format().toTableCellFormat()));
    }
}

// The colour table's entry, invalid for the default colour and for entries the table lacks.
QColor TableBuilder::colour(int index) const {
    return index > 0 && index < static_cast<int>(colours_.size()) ? colours_[index] : QColor();
}

QTextTableCellFormat TableBuilder::cellFormat(const CellDefinition& c,
                                              QTextTableCellFormat f) const {
    if (colour(c.shading).isValid())
        f.setBackground(colour(c.shading));
    for (int side = 0; side < 4; ++side) {
        if (c.borderWidth[side] < 0)
            continue;
        const double width = std::max(1.0, c.borderWidth[side] / TwipsPerPixel);
        const QColor given = colour(c.borderColour[side]);
        f.setProperty(BorderWidths[side], width);
        f.setProperty(BorderBrushes[side], QBrush(given.isValid() ? given : QColor(Qt::black)));
        f.setProperty(BorderStyles[side], QTextFrameFormat::BorderStyle_Solid);
    }
    if (c.verticalAlignment == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    else if (c.verticalAlignment == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignBottom);
    return f;
}

TableBuilder::Placement TableBuilder::placement(const OpenTable& t) {
    Placement p;
    const int rows = t.table->rows();
    if (static_cast<int>(t.rows.size()) < rows)
        return {};
    std::set<int> edges;
    for (int r = 0; r < rows; ++r) {
        const RowDefinition& def = t.rows[r];
        if (def.cells.empty())
            return {};
        int left = def.left;
        for (const CellDefinition& c : def.cells) {
            if (c.right <= left)
                return {};
            left = c.right;
            edges.insert(c.right);
        }
    }
    if (edges.size() > MaxTableColumns)
        return {};
    p.edges.assign(edges.begin(), edges.end());
    for (int r = 0; r < rows; ++r) {
        p.cells.emplace_back();
        int left = t.rows[r].left;
        for (const CellDefinition& c : t.rows[r].cells) {
            const auto first = std::upper_bound(p.edges.begin(), p.edges.end(), left);
            const auto last = std::lower_bound(p.edges.begin(), p.edges.end(), c.right);
            p.cells.back().emplace_back(static_cast<int>(first - p.edges.begin()),
                                        static_cast<int>(last - p.edges.begin()));
            left = c.right;
        }
    }
    return p;
}

// The table's end: its columns laid out by the cells' edges, its merged cells merged.
void TableBuilder::finishTable(OpenTable& t) {
    if (t.table->rows() > t.row + 1)
        t.table->removeRows(t.row + 1, t.table->rows() - t.row - 1);
    const Placement p = placement(t);
    bool inPlace = !p.edges.empty();
    for (size_t r = 0; inPlace && r < p.cells.size(); ++r) {
        inPlace = static_cast<int>(p.cells[r].size()) == t.table->columns();
        for (size_t i = 0; inPlace && i < p.cells[r].size(); ++i)
            inPlace =
                p.cells[r][i] == std::pair<int, int>(static_cast<int>(i), static_cast<int>(i));
    }
    if (!p.edges.empty() && !inPlace)
        rebuild(t, p);
    if (!p.edges.empty())
        layOut(t, p);
    mergeCells(t, p);
}

// The column widths, from the edges, and the cells' padding, from the first row's gap.
void TableBuilder::layOut(OpenTable& t, const Placement& p) {
    QTextTableFormat format = t.table->format();
    QList<QTextLength> widths;
    int left = t.rows.front().left;
    for (int edge : p.edges) {
        widths << QTextLength(QTextLength::FixedLength,
                              std::clamp((edge - left) / TwipsPerPixel, 8.0, 4000.0));
        left = edge;
    }
    format.setColumnWidthConstraints(widths);
    format.setCellPadding(std::min(t.rows.front().gap / TwipsPerPixel, 40.0));
    t.table->setFormat(format);
}

// Merged cells: across (first cell and the ones it takes, or one cell over several columns),
// then down into the cell above.
void TableBuilder::mergeCells(OpenTable& t, const Placement& p) {
    QTextTable* table = t.table;
    const int rows = std::min(table->rows(), static_cast<int>(t.rows.size()));
    const auto columnOf = [&](int r, int i) {
        return p.edges.empty() ? std::pair<int, int>(i, i) : p.cells[r][i];
    };
    for (int r = 0; r < rows; ++r) {
        const auto& cells = t.rows[r].cells;
        const int n = std::min(static_cast<int>(cells.size()), table->columns());
        for (int i = 0; i < n; ++i) {
            const auto [first, last] = columnOf(r, i);
            int end = last;
            if (cells[i].mergeFirst) {
                for (int j = i + 1; j < n && cells[j].merged; ++j)
                    end = columnOf(r, j).second;
            }
            if (end > first && end < table->columns())
                table->mergeCells(r, first, 1, end - first + 1);
        }
    }
    std::vector<int> start(table->columns(), -1);
    for (int r = 0; r < rows; ++r) {
        const auto& cells = t.rows[r].cells;
        const int n = std::min(static_cast<int>(cells.size()), table->columns());
        for (int i = 0; i < n; ++i) {
            const int column = columnOf(r, i).first;
            if (column >= table->columns())
                continue;
            if (cells[i].verticalFirst) {
                start[column] = r;
            } else if (cells[i].verticalMerged && start[column] >= 0 && !cells[i].merged) {
                const QTextTableCell top = table->cellAt(start[column], column);
                if (top.row() == start[column] && top.column() == column)
                    table->mergeCells(start[column], column, r - start[column] + 1,
                                      top.columnSpan());
            } else {
                start[column] = -1;
            }
        }
    }
}

// Moves the cells of a table whose rows have cells of differing edges into a table of a
// column for each edge, which takes the old table's place.
void TableBuilder::rebuild(OpenTable& t, const Placement& p) {
    QTextTable* old = t.table;
    QTextCursor after = old->lastCursorPosition();
    after.movePosition(QTextCursor::NextBlock);
    QTextTable* table =
        after.insertTable(old->rows(), static_cast<int>(p.edges.size()), old->format());
    for (int r = 0; r < old->rows(); ++r) {
        const int n = std::min<int>(old->columns(), p.cells[r].size());
        for (int i = 0; i < n; ++i) {
            const QTextTableCell from = old->cellAt(r, i);
            if (from.row() != r || from.column() != i)
                continue;
            QTextTableCell to = table->cellAt(r, p.cells[r][i].first);
            to.setFormat(from.format());
            QTextCursor source = from.firstCursorPosition();
            source.setPosition(from.lastPosition(), QTextCursor::KeepAnchor);
            QTextCursor target = to.firstCursorPosition();
            target.insertFragment(source.selection());
            // The fragment comes after the new cell's empty paragraph, which goes.
            const QTextBlock empty = to.firstCursorPosition().block();
            const QTextBlock moved = empty.next();
            if (empty.length() <= 1 && moved.isValid() && moved.position() <= to.lastPosition() &&
                QTextCursor(moved).currentFrame() == QTextCursor(empty).currentFrame()) {
                const QPointer<QTextList> list = moved.textList();
                QTextCursor merge(empty);
                merge.setBlockFormat(moved.blockFormat());
                merge.setPosition(moved.position(), QTextCursor::KeepAnchor);
                merge.removeSelectedText();
                if (list && !merge.block().textList())
                    list->add(merge.block());
            }
        }
    }
    // The old table goes, and with it the empty paragraph between the two.
    QTextCursor gone(old->document());
    gone.setPosition(old->firstPosition() - 1);
    gone.setPosition(table->firstPosition() - 1, QTextCursor::KeepAnchor);
    gone.removeSelectedText();
    t.table = table;
}

} // namespace lumorra::rtf
