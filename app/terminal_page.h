#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace orvelo {

// 终端管理: the terminals of terminals.ini in a table, with their state from the last check, their
// last collection and the result of a run from this page, and the buttons that work on the chosen
// or on all of them. A layout and its cells only: the window reads the list, runs the commands and
// fills the cells.
class TerminalPage : public QWidget {
    Q_OBJECT

public:
    // The table's columns, in order.
    enum Column {
        kName,
        kAddress,
        kOnline,       // 在线 / 离线, from the last check
        kClockOffset,  // the terminal's clock against the PC's, in seconds
        kUsers,
        kRecords,
        kNewRecords,
        kLastCollection,  // when
        kCollectedBy,
        kCollectionResult,  // the result word and the counts
        kRunResult,         // what a run from this page gave, filled as it goes
        kColumnCount
    };

    explicit TerminalPage(QWidget* parent = nullptr);

    // One row per terminal, in the list's order; every cell given (kColumnCount texts each).
    void showRows(const QList<QStringList>& rows);
    // Sets one cell; a row or column out of range is ignored.
    void setCell(int row, int column, const QString& text);
    QString cell(int row, int column) const;
    int rowCount() const;
    // The rows the operator chose, ascending (the current row when none is selected).
    QList<int> chosenRows() const;
    // Shown above the table instead of it when terminals.ini cannot be used.
    void showListProblem(const QString& problem);

    QWidget* ts_Terminals;
    QTableWidget* tbl_Terminals;
    QLabel* lbl_TerminalListProblem;
    QPushButton* btn_UseTerminal;
    QPushButton* btn_SaveTerminal;
    QPushButton* btn_AddTerminal;
    QPushButton* btn_EditTerminal;
    QPushButton* btn_RenameTerminal;
    QPushButton* btn_RemoveTerminal;
    QPushButton* btn_CheckTerminals;
    QPushButton* btn_CheckAllTerminals;
    QPushButton* btn_CollectTerminals;
    QPushButton* btn_CollectAllTerminals;
    QCheckBox* chk_CollectAllRecords;
    QPushButton* btn_Export;  // 导出考勤记录: the records of the database, for payroll
};

}  // namespace orvelo
