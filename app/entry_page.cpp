#include "app/entry_page.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/employee_grid.h"
#include "app/entry_page_grids.h"
#include "app/page_layout.h"
#include "app/panel_sizing_bar.h"
#include "db/data_module.h"
#include "directory/selected_employees.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

constexpr int kDetailPanelHeight = 124;
constexpr int kSizeBarHeight = 7;

EmployeeGridView* grid(QWidget* parent, EmployeeGrid role, const QString& name, QAbstractItemModel* model) {
    auto* view = new EmployeeGridView(role, parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setShowGrid(true);
    view->verticalHeader()->setVisible(true);  // the row indicator column
    view->verticalHeader()->setDefaultSectionSize(18);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

QWidget* gridPage(const QString& name, EmployeeGridView*& grid_, EmployeeGrid role, const QString& gridName,
                  QAbstractItemModel* model) {
    auto* page = new QWidget;
    page->setObjectName(name);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    grid_ = grid(page, role, gridName, model);
    layout->addWidget(grid_);
    return page;
}

}  // namespace

EntryPage::EntryPage(DataModule& dataModule, QWidget* parent) : QWidget(parent), m_data(dataModule) {
    setObjectName(u"ts_EntryInfo"_s);
    const CommandPage page = layoutCommandPage(this);
    buttonColumn = page.buttonColumn;
    chk_SelectAll = new QCheckBox(u"对所有人员进行操作"_s);
    chk_SelectAll->setObjectName(u"chk_SelectAll"_s);
    addColumnControl(page, chk_SelectAll);
    btn_GetAllEntryInfo = addColumnButton(page, u"btn_GetAllEntryInfo"_s, u"获取所有注册信息"_s);
    btn_GetEntryInfo = addColumnButton(page, u"btn_GetEntryInfo"_s, u"获取注册信息"_s);
    btn_WriteEntryInfo = addColumnButton(page, u"btn_WriteEntryInfo"_s, u"写入指纹及姓名"_s);
    btn_DelEntryInfo = addColumnButton(page, u"btn_DelEntryInfo"_s, u"删除注册信息"_s);
    finishColumn(page);

    pgc_employee = new QTabWidget(page.page);
    pgc_employee->setObjectName(u"pgc_employee"_s);
    {
        // addTab makes the first page current and says so; that is no page change of the operator.
        const QSignalBlocker quiet(pgc_employee);
        ts_1 = gridPage(u"ts_1"_s, dbgrdh_3, EmployeeGrid::dbgrdh_3, u"dbgrdh_3"_s, &m_data.ds_3);
        ts_3 = gridPage(u"ts_3"_s, dbgrdh_4, EmployeeGrid::dbgrdh_4, u"dbgrdh_4"_s, &m_data.ds_4);
        pgc_employee->addTab(ts_1, u"在职人员"_s);
        pgc_employee->addTab(ts_3, u"离职人员"_s);
    }

    searchRow = new QWidget(pgc_employee);
    auto* searchLayout = new QHBoxLayout(searchRow);
    searchLayout->setContentsMargins(0, 0, 2, 1);
    searchLayout->setSpacing(4);
    txt_1 = new QLabel(u"部门/姓名/工号："_s, searchRow);
    txt_1->setObjectName(u"txt_1"_s);
    edt_keyword = new QLineEdit(searchRow);
    edt_keyword->setObjectName(u"edt_keyword"_s);
    edt_keyword->setFixedWidth(130);
    btn_search = new QPushButton(u"模糊查询"_s, searchRow);
    btn_search->setObjectName(u"btn_search"_s);
    btn_search->setFixedWidth(75);
    searchLayout->addWidget(txt_1);
    searchLayout->addWidget(edt_keyword);
    searchLayout->addWidget(btn_search);
    pgc_employee->setCornerWidget(searchRow, Qt::TopRightCorner);
    page.workLayout->addWidget(pgc_employee, 1);

    rzszpnl_1 = new QWidget(page.page);
    rzszpnl_1->setObjectName(u"rzszpnl_1"_s);
    rzszpnl_1->setFixedHeight(kDetailPanelHeight);
    auto* panelLayout = new QVBoxLayout(rzszpnl_1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    sizeBar = new PanelSizingBar(rzszpnl_1);
    sizeBar->setObjectName(u"rzszpnl_1_sizeBar"_s);
    sizeBar->setFixedHeight(kSizeBarHeight);
    sizeBar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    sizeBar->setCursor(Qt::SplitVCursor);
    panelLayout->addWidget(sizeBar);
    dbgrdh_5 = grid(rzszpnl_1, EmployeeGrid::dbgrdh_5, u"dbgrdh_5"_s, &m_data.ds_5);
    panelLayout->addWidget(dbgrdh_5, 1);
    page.workLayout->addWidget(rzszpnl_1);

    m_grids = std::make_unique<EntryPageGrids>(*pgc_employee, *dbgrdh_3, *dbgrdh_4, *dbgrdh_5);
    m_selection = std::make_unique<SelectedEmployees>(m_data, *m_grids);
}

EntryPage::~EntryPage() = default;

EmployeeGrids& EntryPage::grids() {
    return *m_grids;
}

SelectedEmployees& EntryPage::employeeSelection() {
    return *m_selection;
}

}  // namespace orvelo
