#include "app/terminal_page.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

const QStringList& columnTitles() {
    static const QStringList titles = {u"名称"_s,     u"连接"_s,     u"状态"_s,     u"时钟偏差(秒)"_s,
                                       u"人员数"_s,   u"记录数"_s,   u"新记录数"_s, u"上次采集时间"_s,
                                       u"采集程序"_s, u"采集结果"_s, u"本次执行"_s};
    return titles;
}

}  // namespace

TerminalPage::TerminalPage(QWidget* parent) : QWidget(parent) {
    static_assert(kColumnCount == 11);
    setObjectName(u"ts_Terminals"_s);
    ts_Terminals = this;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    // Two rows of buttons above the table: the list itself, then the work on its terminals. With
    // two hundred terminals the table scrolls; the buttons stay.
    const auto button = [this](QHBoxLayout* row, const QString& name, const QString& caption) {
        auto* made = new QPushButton(caption, this);
        made->setObjectName(name);
        made->setFixedHeight(25);
        row->addWidget(made);
        return made;
    };
    auto* listRow = new QHBoxLayout;
    btn_UseTerminal = button(listRow, u"btn_UseTerminal"_s, u"设为当前设备"_s);
    btn_UseTerminal->setToolTip(u"把所选终端的连接参数填入上方的连接面板，其余各页即对该终端操作"_s);
    btn_SaveTerminal = button(listRow, u"btn_SaveTerminal"_s, u"保存当前设备"_s);
    btn_SaveTerminal->setToolTip(u"把连接面板当前的参数保存为一个新终端"_s);
    btn_AddTerminal = button(listRow, u"btn_AddTerminal"_s, u"添加"_s);
    btn_EditTerminal = button(listRow, u"btn_EditTerminal"_s, u"修改"_s);
    btn_RenameTerminal = button(listRow, u"btn_RenameTerminal"_s, u"重命名"_s);
    btn_RemoveTerminal = button(listRow, u"btn_RemoveTerminal"_s, u"删除"_s);
    listRow->addStretch(1);
    layout->addLayout(listRow);

    auto* workRow = new QHBoxLayout;
    btn_CheckTerminals = button(workRow, u"btn_CheckTerminals"_s, u"检查所选"_s);
    btn_CheckAllTerminals = button(workRow, u"btn_CheckAllTerminals"_s, u"检查全部"_s);
    workRow->addSpacing(16);
    chk_CollectAllRecords = new QCheckBox(u"采集全部数据"_s, this);
    chk_CollectAllRecords->setObjectName(u"chk_CollectAllRecords"_s);
    chk_CollectAllRecords->setToolTip(u"不选：只采集新数据；选中：采集终端里面全部数据"_s);
    workRow->addWidget(chk_CollectAllRecords);
    btn_CollectTerminals = button(workRow, u"btn_CollectTerminals"_s, u"采集所选"_s);
    btn_CollectAllTerminals = button(workRow, u"btn_CollectAllTerminals"_s, u"采集全部"_s);
    workRow->addStretch(1);
    btn_Export = button(workRow, u"btn_Export"_s, u"导出考勤记录"_s);
    layout->addLayout(workRow);

    lbl_TerminalListProblem = new QLabel(this);
    lbl_TerminalListProblem->setObjectName(u"lbl_TerminalListProblem"_s);
    lbl_TerminalListProblem->setWordWrap(true);
    lbl_TerminalListProblem->setStyleSheet(u"color: #b00000;"_s);
    lbl_TerminalListProblem->hide();
    layout->addWidget(lbl_TerminalListProblem);

    tbl_Terminals = new QTableWidget(0, kColumnCount, this);
    tbl_Terminals->setObjectName(u"tbl_Terminals"_s);
    tbl_Terminals->setHorizontalHeaderLabels(columnTitles());
    tbl_Terminals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbl_Terminals->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbl_Terminals->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tbl_Terminals->verticalHeader()->setDefaultSectionSize(20);
    tbl_Terminals->verticalHeader()->hide();
    tbl_Terminals->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(tbl_Terminals, 1);
}

void TerminalPage::showRows(const QList<QStringList>& rows) {
    tbl_Terminals->setUpdatesEnabled(false);
    tbl_Terminals->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < kColumnCount; ++column) setCell(row, column, rows[row].value(column));
    }
    tbl_Terminals->resizeColumnsToContents();
    tbl_Terminals->setUpdatesEnabled(true);
}

void TerminalPage::setCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount) return;
    QTableWidgetItem* item = tbl_Terminals->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        tbl_Terminals->setItem(row, column, item);
    }
    if (item->text() == text) return;
    item->setText(text);
    // A result or a state longer than what the column was fitted to must not end in "…".
    if (tbl_Terminals->updatesEnabled() &&
        tbl_Terminals->fontMetrics().horizontalAdvance(text) + 12 > tbl_Terminals->columnWidth(column))
        tbl_Terminals->resizeColumnToContents(column);
}

QString TerminalPage::cell(int row, int column) const {
    const QTableWidgetItem* item = tbl_Terminals->item(row, column);
    return item ? item->text() : QString();
}

int TerminalPage::rowCount() const {
    return tbl_Terminals->rowCount();
}

QList<int> TerminalPage::chosenRows() const {
    QList<int> rows;
    for (const QModelIndex& index : tbl_Terminals->selectionModel()->selectedRows()) rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && tbl_Terminals->currentRow() >= 0) rows.append(tbl_Terminals->currentRow());
    return rows;
}

void TerminalPage::showListProblem(const QString& problem) {
    lbl_TerminalListProblem->setText(problem);
    lbl_TerminalListProblem->setVisible(!problem.isEmpty());
}

}  // namespace orvelo
