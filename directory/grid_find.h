#pragma once

#include <QList>
#include <QModelIndex>
#include <QString>

class QAbstractItemModel;

namespace orvelo {

// A search for a text among the cells of a grid (the find dialog of the departed list and of
// the details).
struct FindRequest {
    enum class Match { AnyPart, WholeField, Beginning };
    enum class Direction { Down, Up, All };

    QString text;
    Match match = Match::AnyPart;
    Direction direction = Direction::All;
    bool caseSensitive = false;
    // The columns searched, in the order a row is read: the current column only, or every shown
    // column in the order the grid shows them.
    QList<int> columns;
};

// Whether a cell's text matches the request.
bool cellMatches(const QString& cellText, const FindRequest& request);

// The next cell after `from` whose display text matches: Down to the last row, Up to the first,
// All through every row, wrapping past the end (and finding `from` itself last). Rows are read
// cell by cell in the order of `request.columns`. An invalid `from` starts before the first cell
// (Up: after the last). An invalid index when nothing matches.
QModelIndex findNextCell(const QAbstractItemModel& model, const FindRequest& request,
                         const QModelIndex& from);

}  // namespace orvelo
