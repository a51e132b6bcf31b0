#include "app/employee_grid.h"

#include <QAbstractButton>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>

#include "app/find_dialog.h"
#include "db/data_module.h"
#include "directory/employee_lists.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

// Room kept beside a fitted title for its sort mark.
constexpr int kSortMarkRoom = 14;

void drawTriangle(QPainter* painter, const QPolygonF& triangle, const QColor& colour) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPolygon(triangle);
    painter->restore();
}

}  // namespace

// --- GridTitleBar ------------------------------------------------------------------------------

GridTitleBar::GridTitleBar(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSortIndicatorShown(false);
    setHighlightSections(false);
    setSectionsMovable(false);
}

void GridTitleBar::setSortMarks(const QList<SortMark>& marks) {
    if (marks == m_marks) return;
    m_marks = marks;
    viewport()->update();
}

void GridTitleBar::mouseReleaseEvent(QMouseEvent* event) {
    // sectionClicked carries no modifiers, and the application's may not have been updated by a
    // synthesised click.
    m_clickModifiers = event->modifiers();
    QHeaderView::mouseReleaseEvent(event);
}

void GridTitleBar::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    qsizetype rank = -1;
    for (qsizetype i = 0; i < m_marks.size(); ++i)
        if (m_marks[i].column == logicalIndex) rank = i;
    if (rank < 0) return;

    const QRectF mark(rect.right() - 11.0, rect.center().y() - 3.0, 8.0, 6.0);
    const QPolygonF triangle =
        m_marks[rank].order == Qt::AscendingOrder
            ? QPolygonF{{mark.left(), mark.bottom()},
                        {mark.right(), mark.bottom()},
                        {mark.center().x(), mark.top()}}
            : QPolygonF{
                  {mark.left(), mark.top()}, {mark.right(), mark.top()}, {mark.center().x(), mark.bottom()}};
    drawTriangle(painter, triangle, palette().color(QPalette::ButtonText));
    if (m_marks.size() > 1) {
        painter->save();
        QFont small = font();
        small.setPixelSize(8);
        painter->setFont(small);
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->drawText(QRectF(mark.left() - 9.0, rect.top(), 9.0, rect.height()), Qt::AlignCenter,
                          QString::number(rank + 1));
        painter->restore();
    }
}

// --- RowIndicator ------------------------------------------------------------------------------

RowIndicator::RowIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize RowIndicator::sizeHint() const {
    return QSize(kWidth, defaultSectionSize());
}

void RowIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text.clear();
    option.position = QStyleOptionHeader::Middle;
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    if (logicalIndex != currentRow) return;
    const QRectF mark(rect.center().x() - 2.5, rect.center().y() - 4.0, 5.0, 8.0);
    drawTriangle(painter, QPolygonF{mark.topLeft(), mark.bottomLeft(), {mark.right(), mark.center().y()}},
                 palette().color(QPalette::ButtonText));
}

// --- EmployeeGridView -------------------------------------------------------------------------

EmployeeGridView::EmployeeGridView(EmployeeGrid role, QWidget* parent)
    : QTableView(parent),
      m_role(role),
      m_titleBar(new GridTitleBar(this)),
      m_rowIndicator(new RowIndicator(this)) {
    setHorizontalHeader(m_titleBar);
    setVerticalHeader(m_rowIndicator);
    // QTableView fits a double-clicked column through sizeHintForColumn, which by default
    // measures only some of the rows; the fitting of this grid measures them all.
    disconnect(m_titleBar, SIGNAL(sectionHandleDoubleClicked(int)), this, SLOT(resizeColumnToContents(int)));
    connect(m_titleBar, &QHeaderView::sectionHandleDoubleClicked, this, &EmployeeGridView::fitColumn);
    connect(m_titleBar, &QHeaderView::sectionClicked, this, &EmployeeGridView::onTitleClicked);

    const bool list = role != EmployeeGrid::dbgrdh_5;
    setEditTriggers(NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setShowGrid(true);
    setSelectionBehavior(list ? SelectRows : SelectItems);
    setSelectionMode(list ? ExtendedSelection : SingleSelection);
    setTextElideMode(role == EmployeeGrid::dbgrdh_3 ? Qt::ElideRight : Qt::ElideNone);

    // Qt shows the selection of an unfocused view in the inactive colours; only the active list
    // keeps showing it.
    QPalette colours = palette();
    if (role == EmployeeGrid::dbgrdh_3) {
        colours.setColor(QPalette::Inactive, QPalette::Highlight,
                         colours.color(QPalette::Active, QPalette::Highlight));
        colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         colours.color(QPalette::Active, QPalette::HighlightedText));
    } else {
        colours.setColor(QPalette::Inactive, QPalette::Highlight,
                         colours.color(QPalette::Inactive, QPalette::Base));
        colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         colours.color(QPalette::Inactive, QPalette::Text));
    }
    setPalette(colours);

    m_titleBar->setSectionsClickable(role == EmployeeGrid::dbgrdh_3);
    if (role == EmployeeGrid::dbgrdh_3) {
        buildTitleMenu();
    } else {
        // The corner button would select the whole grid.
        setCornerButtonEnabled(false);
    }
}

EmployeeGridView::~EmployeeGridView() = default;

void EmployeeGridView::setModel(QAbstractItemModel* model) {
    disconnect(m_queryRow);
    disconnect(m_modelReset);
    QTableView::setModel(model);
    auto* source = qobject_cast<DataSource*>(model);
    m_query = source ? &source->query() : nullptr;
    // Connected after the view and its selection model, so these run once they have reset.
    if (model)
        m_modelReset = connect(model, &QAbstractItemModel::modelReset, this, &EmployeeGridView::onModelReset);
    if (m_query)
        m_queryRow = connect(m_query, &Query::currentRowChanged, this, &EmployeeGridView::onQueryRowChanged);
    onModelReset();
}

void EmployeeGridView::onModelReset() {
    if (m_sorting) return;
    // The columns are built anew at every opening.
    m_titleBar->setSortMarks({});
    m_titleBar->setSectionsClickable(m_role == EmployeeGrid::dbgrdh_3);
    for (int column = 0; column < m_titleBar->count(); ++column) {
        m_titleBar->showSection(column);
        m_titleBar->resizeSection(column, m_titleBar->defaultSectionSize());
    }
    const int rows = model() ? model()->rowCount() : 0;
    showCurrentRow(m_query ? m_query->currentRow() : (rows > 0 ? 0 : -1));
}

void EmployeeGridView::showCurrentRow(int row) {
    QItemSelectionModel* selection = selectionModel();
    if (!selection || !model()) return;
    const QModelIndex current = selection->currentIndex();
    const QModelIndex target =
        row < 0 ? QModelIndex() : model()->index(row, current.isValid() ? current.column() : 0);
    // The cursor moves; the selection stays as it is.
    if (target != current) selection->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    if (m_rowIndicator->currentRow != row) {
        m_rowIndicator->currentRow = row;
        m_rowIndicator->viewport()->update();
    }
}

void EmployeeGridView::onQueryRowChanged(int row) {
    if (currentIndex().row() != row || (row < 0 && currentIndex().isValid())) showCurrentRow(row);
}

void EmployeeGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    const int row = current.isValid() ? current.row() : -1;
    if (m_rowIndicator->currentRow != row) {
        m_rowIndicator->currentRow = row;
        m_rowIndicator->viewport()->update();
    }
    // The query's current row drives the details.
    if (m_query && row >= 0 && m_query->currentRow() != row) m_query->setCurrentRow(row);
}

// --- fitting -----------------------------------------------------------------------------------

int EmployeeGridView::titleWidth(int column) const {
    const QString title = model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, m_titleBar) + 2;
    const int markRoom = m_role == EmployeeGrid::dbgrdh_5 ? 0 : kSortMarkRoom;
    return QFontMetrics(m_titleBar->font()).horizontalAdvance(title) + margin + markRoom;
}

int EmployeeGridView::cellsWidth(int column) const {
    const QAbstractItemModel* source = model();
    if (!source || column < 0 || column >= source->columnCount()) return 0;
    const QFontMetrics metrics(font());
    const int rows = source->rowCount();
    int widest = 0;
    // Every row, as the grid shows it; a cached width per distinct text keeps long lists of
    // repeated department names, sexes and dates cheap.
    QHash<QString, int> measured;
    const auto measure = [&](const QString& text) {
        if (text.isEmpty()) return;
        const auto known = measured.constFind(text);
        const int width =
            known != measured.cend() ? *known : *measured.insert(text, metrics.horizontalAdvance(text));
        widest = std::max(widest, width);
    };
    if (m_query) {
        for (int row = 0; row < rows; ++row) measure(DataSource::displayText(m_query->value(row, column)));
    } else {
        for (int row = 0; row < rows; ++row)
            measure(source->index(row, column).data(Qt::DisplayRole).toString());
    }
    if (widest == 0) return 0;
    // The delegate's text margins on both sides and the grid line.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 2;
    return widest + margin;
}

int EmployeeGridView::sizeHintForColumn(int column) const {
    return cellsWidth(column);
}

int EmployeeGridView::fittedWidth(int column) const {
    if (!model() || column < 0 || column >= model()->columnCount()) return 0;
    return std::max(titleWidth(column), cellsWidth(column));
}

void EmployeeGridView::fitColumn(int column) {
    if (!model() || column < 0 || column >= model()->columnCount()) return;
    m_titleBar->resizeSection(column, fittedWidth(column));
}

void EmployeeGridView::fitColumns() {
    if (!model()) return;
    for (int column = 0; column < model()->columnCount(); ++column) fitColumn(column);
    m_titleBar->setSectionsClickable(true);
}

bool EmployeeGridView::titlesAreButtons() const {
    return m_titleBar->sectionsClickable();
}

// --- sorting -----------------------------------------------------------------------------------

void EmployeeGridView::onTitleClicked(int column) {
    if (m_role == EmployeeGrid::dbgrdh_5) return;
    QList<GridTitleBar::SortMark> marks = m_titleBar->sortMarks();
    qsizetype marked = -1;
    for (qsizetype i = 0; i < marks.size(); ++i)
        if (marks[i].column == column) marked = i;
    const auto flipped = [](Qt::SortOrder order) {
        return order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    };
    if (m_titleBar->clickModifiers() & Qt::ControlModifier) {
        if (marked >= 0) {
            marks[marked].order = flipped(marks[marked].order);
        } else {
            marks.append({column, Qt::AscendingOrder});
        }
    } else if (marks.size() == 1 && marked == 0) {
        marks[0].order = flipped(marks[0].order);
    } else {
        marks = {{column, Qt::AscendingOrder}};
    }
    m_titleBar->setSortMarks(marks);
    if (m_role == EmployeeGrid::dbgrdh_3) sortByMarks();
}

void EmployeeGridView::sortByMarks() {
    if (!m_query || !selectionModel()) return;
    std::vector<std::pair<int, Qt::SortOrder>> keys;
    for (const auto& mark : m_titleBar->sortMarks()) keys.emplace_back(mark.column, mark.order);

    // The selection names records, not positions: the rows selected before the sort are
    // selected after it, wherever they moved. Rows with equal texts are interchangeable.
    const int columns = m_query->columnCount();
    const auto recordKey = [&](int row) {
        QString key;
        for (int column = 0; column < columns; ++column)
            key += DataSource::displayText(m_query->value(row, column)) + QChar(0x1f);
        return key;
    };
    QHash<QString, int> selected;
    const QModelIndexList rows = selectionModel()->selectedRows();
    for (const QModelIndex& index : rows) ++selected[recordKey(index.row())];

    m_sorting = true;
    m_query->sortRows(keys);
    m_sorting = false;

    if (!selected.isEmpty()) {
        QItemSelection again;
        int runStart = -1;
        const int count = m_query->rowCount();
        for (int row = 0; row <= count; ++row) {
            bool take = false;
            if (row < count) {
                const auto it = selected.find(recordKey(row));
                if (it != selected.end() && *it > 0) {
                    --*it;
                    take = true;
                }
            }
            if (take && runStart < 0) runStart = row;
            if (!take && runStart >= 0) {
                again.select(model()->index(runStart, 0), model()->index(row - 1, columns - 1));
                runStart = -1;
            }
        }
        selectionModel()->select(again, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    showCurrentRow(m_query->currentRow());
}

// --- keyboard, menu and find ----------------------------------------------------------------------

void EmployeeGridView::selectAll() {
    if (m_role == EmployeeGrid::dbgrdh_3 && selectionModel()) selectEveryRow(*selectionModel());
}

void EmployeeGridView::keyboardSearch(const QString& /*search*/) {}

void EmployeeGridView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Find) && m_role != EmployeeGrid::dbgrdh_3) {
        openFindDialog();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void EmployeeGridView::buildTitleMenu() {
    // The window's own texts, in its language like every other caption: Qt's translation covers
    // only Qt's own menus, and these entries are not Qt's.
    m_titleMenu = new QMenu(this);
    m_titleMenu->setObjectName(u"titleMenu"_s);
    QMenu* columns = m_titleMenu->addMenu(u"显示列"_s);
    columns->setObjectName(u"visibleColumns"_s);
    connect(columns, &QMenu::aboutToShow, this, [this, columns] { fillVisibleColumnsMenu(columns); });
    // A read-only list: the editing entries are there, as in the other grids' menus, but disabled.
    for (const QString& text : {u"剪切"_s, u"复制"_s, u"粘贴"_s, u"删除"_s})
        m_titleMenu->addAction(text)->setEnabled(false);
    connect(m_titleMenu->addAction(u"全选"_s), &QAction::triggered, this, &EmployeeGridView::selectAll);

    // The top-left cell opens the menu instead of selecting the whole grid.
    if (auto* corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        corner->disconnect(this);
        connect(corner, &QAbstractButton::clicked, this, &EmployeeGridView::showTitleMenu);
    }
}

void EmployeeGridView::fillVisibleColumnsMenu(QMenu* menu) {
    menu->clear();
    if (!model()) return;
    for (int column = 0; column < model()->columnCount(); ++column) {
        QAction* entry = menu->addAction(model()->headerData(column, Qt::Horizontal).toString());
        entry->setCheckable(true);
        entry->setChecked(!isColumnHidden(column));
        connect(entry, &QAction::toggled, this,
                [this, column](bool shown) { setColumnHidden(column, !shown); });
    }
}

void EmployeeGridView::showTitleMenu() {
    if (!m_titleMenu) return;
    if (QMenu* columns = m_titleMenu->findChild<QMenu*>(u"visibleColumns"_s)) fillVisibleColumnsMenu(columns);
    m_titleMenu->popup(mapToGlobal(QPoint(frameWidth(), frameWidth() + m_titleBar->height())));
}

void EmployeeGridView::openFindDialog() {
    if (m_role == EmployeeGrid::dbgrdh_3) return;
    if (!m_findDialog) m_findDialog = new FindDialog(*this);
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

}  // namespace orvelo
