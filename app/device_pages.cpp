#include "app/device_pages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/log_memo.h"
#include "app/page_layout.h"
#include "app/window_fonts.h"

using namespace Qt::StringLiterals;

namespace orvelo {

SetDevicePage buildSetDevicePage() {
    const CommandPage page = makeCommandPage(u"ts_SetDevice"_s);
    SetDevicePage result{};
    result.ts_SetDevice = page.page;
    result.btn_GetDevicePara = addColumnButton(page, u"btn_GetDevicePara"_s, u"读取设备状态"_s);
    result.btn_SetTime = addColumnButton(page, u"btn_SetTime"_s, u"同步设备时间"_s);
    result.btn_DelDeviceAdmin = addColumnButton(page, u"btn_DelDeviceAdmin"_s, u"清除设备管理员"_s);
    result.btn_SetDevicePara = addColumnButton(page, u"btn_SetDevicePara"_s, u"清除设备全部数据"_s);
    finishColumn(page);

    result.mmo_1 = new LogMemo(page.page);
    result.mmo_1->setObjectName(u"mmo_1"_s);
    result.mmo_1->setFont(memoFont());
    result.mmo_1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    result.mmo_1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page.workLayout->addWidget(result.mmo_1);
    return result;
}

CollectionPage buildCollectionPage() {
    const CommandPage page = makeCommandPage(u"ts_2"_s);
    CollectionPage result{};
    result.ts_2 = page.page;
    result.rb_GetNewData = new QRadioButton(u"采集新数据"_s);
    result.rb_GetNewData->setObjectName(u"rb_GetNewData"_s);
    result.rb_GetNewData->setToolTip(u"采集设备里面没有被采集过的数据"_s);
    result.rb_GetAllData = new QRadioButton(u"采集全部数据"_s);
    result.rb_GetAllData->setObjectName(u"rb_GetAllData"_s);
    result.rb_GetAllData->setToolTip(u"采集设备里面全部数据（包括已采集和未采集的数据）"_s);
    addColumnControl(page, result.rb_GetNewData);
    addColumnControl(page, result.rb_GetAllData);
    result.downloadGroup = new QButtonGroup(page.page);
    result.downloadGroup->addButton(result.rb_GetNewData);
    result.downloadGroup->addButton(result.rb_GetAllData);
    result.rb_GetAllData->setChecked(true);

    result.btn_GetData = addColumnButton(page, u"btn_GetData"_s, u"采集数据"_s);
    result.btn_ImportDataFromU = addColumnButton(page, u"btn_ImportDataFromU"_s, u"U盘数据导入"_s);
    result.btn_ImportFromHV = addColumnButton(page, u"btn_ImportFromHV"_s, u"刷卡文件导入"_s);
    result.btn_ClearDeviceLog = addColumnButton(page, u"btn_ClearDeviceLog"_s, u"清除设备记录"_s);
    result.btn_ClearDeviceLog->setEnabled(false);
    finishColumn(page);

    result.mmo_2 = new LogMemo(page.page);
    result.mmo_2->setObjectName(u"mmo_2"_s);
    result.mmo_2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result.mmo_2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page.workLayout->addWidget(result.mmo_2);
    return result;
}

SysConfigPage buildSysConfigPage() {
    SysConfigPage result{};
    result.ts_SysConfig = new QWidget;
    result.ts_SysConfig->setObjectName(u"ts_SysConfig"_s);
    result.lbl_7 = new QLabel(u"设备类型："_s, result.ts_SysConfig);
    result.lbl_7->setObjectName(u"lbl_7"_s);
    result.cbb_DeviceType = new QComboBox(result.ts_SysConfig);
    result.cbb_DeviceType->setObjectName(u"cbb_DeviceType"_s);
    result.cbb_DeviceType->setFixedWidth(160);
    result.cbb_DeviceType->setEnabled(false);
    result.btn_SaveDeviceType = new QPushButton(u"保存(&S)"_s, result.ts_SysConfig);
    result.btn_SaveDeviceType->setObjectName(u"btn_SaveDeviceType"_s);
    result.btn_SaveDeviceType->setFixedSize(75, 25);
    result.btn_SaveDeviceType->setEnabled(false);

    auto* layout = new QVBoxLayout(result.ts_SysConfig);
    layout->setContentsMargins(24, 24, 24, 24);
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    line->addWidget(result.lbl_7);
    line->addWidget(result.cbb_DeviceType);
    line->addWidget(result.btn_SaveDeviceType);
    line->addStretch(1);
    layout->addLayout(line);
    layout->addStretch(1);
    result.ts_SysConfig->setEnabled(false);
    return result;
}

}  // namespace orvelo
