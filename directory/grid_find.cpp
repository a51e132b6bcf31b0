#include "directory/grid_find.h"

#include <QAbstractItemModel>

namespace orvelo {

bool cellMatches(const QString& cellText, const FindRequest& request) {
    const Qt::CaseSensitivity cs = request.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    switch (request.match) {
        case FindRequest::Match::WholeField:
            return cellText.compare(request.text, cs) == 0;
        case FindRequest::Match::Beginning:
            return cellText.startsWith(request.text, cs);
        case FindRequest::Match::AnyPart:
            break;
    }
    return cellText.contains(request.text, cs);
}

QModelIndex findNextCell(const QAbstractItemModel& model, const FindRequest& request,
                         const QModelIndex& from) {
    const qsizetype width = request.columns.size();
    const qsizetype cells = qsizetype(model.rowCount()) * width;
    if (cells == 0 || request.text.isEmpty()) return {};

    // Cells are numbered row by row in the order of request.columns.
    qsizetype start;
    if (from.isValid()) {
        const qsizetype column = std::max<qsizetype>(0, request.columns.indexOf(from.column()));
        start = qsizetype(from.row()) * width + column;
    } else {
        start = request.direction == FindRequest::Direction::Up ? cells : -1;
    }

    const auto cellAt = [&](qsizetype position) {
        return model.index(int(position / width), request.columns.at(position % width));
    };
    const auto matchesAt = [&](qsizetype position) {
        return cellMatches(cellAt(position).data(Qt::DisplayRole).toString(), request);
    };

    switch (request.direction) {
        case FindRequest::Direction::Down:
            for (qsizetype p = start + 1; p < cells; ++p)
                if (matchesAt(p)) return cellAt(p);
            break;
        case FindRequest::Direction::Up:
            for (qsizetype p = std::min(start, cells) - 1; p >= 0; --p)
                if (matchesAt(p)) return cellAt(p);
            break;
        case FindRequest::Direction::All:
            for (qsizetype step = 1; step <= cells; ++step) {
                const qsizetype p = ((start + step) % cells + cells) % cells;
                if (matchesAt(p)) return cellAt(p);
            }
            break;
    }
    return {};
}

}  // namespace orvelo
