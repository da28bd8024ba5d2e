#pragma once

#include <QColor>
#include <QTextTableCellFormat>

#include <map>
#include <utility>
#include <vector>

class QTextCursor;
class QTextTable;

namespace lumorra::rtf {

// Tables nested deeper than this are read as tables of this depth.
inline constexpr int MaxTableDepth = 8;

// The words that describe a row and its cells, from \trowd to the row's last \cellx.
enum class RowWord {
    Gap,            // \trgaph
    Left,           // \trleft
    CellEdge,       // \cellx: the cell's right edge; the words before it were the cell's
    MergeFirst,     // \clmgf
    Merged,         // \clmrg
    VerticalFirst,  // \clvmgf
    VerticalMerged, // \clvmrg
    Shading,        // \clcbpat
    AlignTop,       // \clvertalt
    AlignCentre,    // \clvertalc
    AlignBottom,    // \clvertalb
    BorderTop,      // \clbrdrt: the border words that follow are this side's
    BorderLeft,
    BorderBottom,
    BorderRight,
    OtherBorder,  // a paragraph's, a row's or a page's border (\brdrt, \trbrdrl, \pgbrdrb, ...)
    BorderWidth,  // \brdrw
    BorderColour, // \brdrcf
    NoBorder      // \brdrnone
};

// Builds a document's tables as its text goes into them: where the text of a cell goes (tables
// nested to a depth), each row's cell formats as its row ends, and at a table's end its columns,
// laid out by the edges its rows give their cells, and its merged cells.
class TableBuilder {
public:
    // The cursor is where the document's text goes; colours are the document's colour table.
    TableBuilder(QTextCursor& cursor, const std::vector<QColor>& colours)
        : cursor_(cursor), colours_(colours) {}

    // \trowd: the row words that follow describe the next row of the table at the depth.
    void startRow(int depth);
    void rowWord(RowWord word, int p);

    // Puts the cursor where text at the depth goes: into the cell of a table of that depth,
    // tables opened or closed as the depth says.
    void enter(int depth);
    // How many tables are open, nested in each other.
    int depth() const { return static_cast<int>(tables_.size()); }
    // Whether a cell or a row of the innermost table has ended and no text has entered since.
    bool betweenCells() const { return !tables_.empty() && tables_.back().next != Next::Here; }
    // Ends the cell of the innermost table; the next text goes to the next cell.
    void endCell();
    // Ends the row of the table at the depth (1 to depth()), closing tables nested deeper.
    void endRow(int depth);
    // Ends the innermost table; the cursor goes after it.
    void closeTable();
    void closeAll();

private:
    // A cell as the row's words describe it.
    struct CellDefinition {
        int right = 0; // twips
        bool mergeFirst = false, merged = false, verticalFirst = false, verticalMerged = false;
        int shading = 0;
        int borderWidth[4] = {-1, -1, -1, -1}; // top, left, bottom, right; twips, -1 for none
        int borderColour[4] = {0, 0, 0, 0};
        int verticalAlignment = 0; // 0 top, 1 centre, 2 bottom
    };
    struct RowDefinition {
        int gap = 108;
        int left = 0;
        std::vector<CellDefinition> cells;
    };
    enum class Next { Here, Cell, Row };
    // A table being read, at one depth.
    struct OpenTable {
        QTextTable* table = nullptr;
        int row = 0, column = 0;
        Next next = Next::Here;
        std::vector<RowDefinition> rows; // each row's words, as its end gave them
    };
    // Where each row's cells stand among the table's columns: the columns end at the right
    // edges any row gives its cells. Empty when a row gives no edges or edges that go back.
    struct Placement {
        std::vector<int> edges;
        std::vector<std::vector<std::pair<int, int>>> cells; // per row: first and last column
    };

    void openTable();
    void applyRow(OpenTable& t, const RowDefinition& def);
    QTextTableCellFormat cellFormat(const CellDefinition& c, QTextTableCellFormat f) const;
    QColor colour(int index) const;
    static Placement placement(const OpenTable& t);
    void finishTable(OpenTable& t);
    void layOut(OpenTable& t, const Placement& p);
    void mergeCells(OpenTable& t, const Placement& p);
    void rebuild(OpenTable& t, const Placement& p);

    QTextCursor& cursor_;
    const std::vector<QColor>& colours_;
    std::vector<OpenTable> tables_;
    std::map<int, RowDefinition> rows_; // the row words last given for each depth
    int rowTarget_ = 1;
    CellDefinition cell_;
    int borderSide_ = -1;
};

} // namespace lumorra::rtf
