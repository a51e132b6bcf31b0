#include <gtest/gtest.h>

#include <QStandardItemModel>

#include "directory/grid_find.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using Match = FindRequest::Match;
using Direction = FindRequest::Direction;

// Three rows of three cells.
class GridFindTest : public ::testing::Test {
protected:
    GridFindTest() : model(3, 3) {
        const char16_t* cells[3][3] = {
            {u"00001", u"Sales", u"张三"},
            {u"00012", u"East Sales", u"李四"},
            {u"00123", u"sales office", u"张三丰"},
        };
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                model.setItem(row, column, new QStandardItem(QString::fromUtf16(cells[row][column])));
    }
    std::pair<int, int> find(FindRequest request, int row, int column) {
        const QModelIndex from = row < 0 ? QModelIndex() : model.index(row, column);
        const QModelIndex found = findNextCell(model, request, from);
        return found.isValid() ? std::pair{found.row(), found.column()} : std::pair{-1, -1};
    }
    QStandardItemModel model;
};

struct FindCase {
    const char* what;
    const char16_t* text;
    Match match;
    Direction direction;
    bool caseSensitive;
    QList<int> columns;
    int fromRow, fromColumn;
    int row, column;  // -1: nothing found
};

TEST_F(GridFindTest, FindsTheNextMatchingCell) {
    const QList<int> all{0, 1, 2};
    const FindCase cases[] = {
        {"any part, all columns, from no cell", u"sales", Match::AnyPart, Direction::Down, false, all, -1, 0,
         0, 1},
        {"goes past the current cell", u"sales", Match::AnyPart, Direction::Down, false, all, 0, 1, 1, 1},
        {"letter case regarded", u"sales", Match::AnyPart, Direction::Down, true, all, -1, 0, 2, 1},
        {"whole field", u"sales", Match::WholeField, Direction::Down, false, all, 0, 1, -1, -1},
        {"whole field from the start", u"sales", Match::WholeField, Direction::All, false, all, 0, 1, 0, 1},
        {"beginning", u"sales", Match::Beginning, Direction::Down, false, all, 0, 1, 2, 1},
        {"current column only", u"1", Match::AnyPart, Direction::Down, false, {0}, 0, 0, 1, 0},
        {"upward", u"张三", Match::AnyPart, Direction::Up, false, all, 2, 2, 0, 2},
        {"upward from no cell starts at the end", u"张三", Match::AnyPart, Direction::Up, false, all, -1, 0,
         2, 2},
        {"downward stops at the end", u"张三", Match::AnyPart, Direction::Down, false, all, 2, 2, -1, -1},
        {"all rows wrap past the end", u"张三", Match::AnyPart, Direction::All, false, all, 2, 2, 0, 2},
        {"all rows find the current cell last", u"丰", Match::AnyPart, Direction::All, false, all, 2, 2, 2,
         2},
        {"columns in the grid's order", u"0", Match::AnyPart, Direction::Down, false, {2, 1, 0}, 0, 0, 1, 0},
        {"no match", u"王", Match::AnyPart, Direction::All, false, all, 0, 0, -1, -1},
        {"empty text finds nothing", u"", Match::AnyPart, Direction::All, false, all, 0, 0, -1, -1},
    };
    for (const FindCase& c : cases) {
        FindRequest request;
        request.text = QString::fromUtf16(c.text);
        request.match = c.match;
        request.direction = c.direction;
        request.caseSensitive = c.caseSensitive;
        request.columns = c.columns;
        EXPECT_EQ(find(request, c.fromRow, c.fromColumn), (std::pair{c.row, c.column})) << c.what;
    }
}

}  // namespace
}  // namespace orvelo
