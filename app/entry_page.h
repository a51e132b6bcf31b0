#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace orvelo {

class DataModule;
class EmployeeGridView;
class EmployeeGrids;
class EmployeeSelection;
class EntryPageGrids;
class PanelSizingBar;
class SelectedEmployees;

// Page 2 "人员注册" (ts_EntryInfo): the enrollment buttons with chk_SelectAll, the employee lists
// pgc_employee (ts_1 with dbgrdh_3 over ds_3, ts_3 with dbgrdh_4 over ds_4), the search row on
// the row of the list tabs, and under the lists the panel rzszpnl_1 (124 pixels high, a 7-pixel
// sizing bar at its top) holding the enrollment details dbgrdh_5 over ds_5.
//
// The page only places the controls. The grids' behaviour (selection, sorting, menus, find) is
// EmployeeGridView's, the sizing bar's dragging and hot spot PanelSizingBar's, and what the list
// commands of directory/ reach (page, column fitting, row selections) EntryPageGrids'. The window
// connects the buttons and the page change to its handlers.
class EntryPage : public QWidget {
    Q_OBJECT

public:
    EntryPage(DataModule& data, QWidget* parent = nullptr);
    ~EntryPage() override;

    // What the list commands reach of this page, and SelectedEmployees over the shown grid.
    EmployeeGrids& grids();
    SelectedEmployees& employeeSelection();

    QWidget* buttonColumn;
    QCheckBox* chk_SelectAll;
    QPushButton* btn_GetAllEntryInfo;
    QPushButton* btn_GetEntryInfo;
    QPushButton* btn_WriteEntryInfo;
    QPushButton* btn_DelEntryInfo;

    QTabWidget* pgc_employee;
    QWidget* ts_1;
    QWidget* ts_3;
    EmployeeGridView* dbgrdh_3;
    EmployeeGridView* dbgrdh_4;

    QWidget* searchRow;
    QLabel* txt_1;
    QLineEdit* edt_keyword;
    QPushButton* btn_search;

    QWidget* rzszpnl_1;
    PanelSizingBar* sizeBar;
    EmployeeGridView* dbgrdh_5;

private:
    DataModule& m_data;
    std::unique_ptr<EntryPageGrids> m_grids;
    std::unique_ptr<SelectedEmployees> m_selection;
};

}  // namespace orvelo
