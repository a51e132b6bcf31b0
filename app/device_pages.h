#pragma once

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

namespace orvelo {

class LogMemo;

// Page 0 "设备设置": the maintenance buttons and mmo_1 (宋体 16 px, vertical scroll bar).
struct SetDevicePage {
    QWidget* ts_SetDevice;
    QPushButton* btn_GetDevicePara;
    QPushButton* btn_SetTime;
    QPushButton* btn_DelDeviceAdmin;
    QPushButton* btn_SetDevicePara;
    LogMemo* mmo_1;
};
SetDevicePage buildSetDevicePage();

// Page 1 "数据采集": the two download choices (a group of their own, built with rb_GetAllData
// checked), the collection buttons and mmo_2 (window font, no scroll bars).
struct CollectionPage {
    QWidget* ts_2;
    QRadioButton* rb_GetNewData;
    QRadioButton* rb_GetAllData;
    QButtonGroup* downloadGroup;
    QPushButton* btn_GetData;
    QPushButton* btn_ImportDataFromU;
    QPushButton* btn_ImportFromHV;
    QPushButton* btn_ClearDeviceLog;
    LogMemo* mmo_2;
};
CollectionPage buildCollectionPage();

// Page 3 "系统配置": disabled, without behaviour.
struct SysConfigPage {
    QWidget* ts_SysConfig;
    QLabel* lbl_7;
    QComboBox* cbb_DeviceType;
    QPushButton* btn_SaveDeviceType;
};
SysConfigPage buildSysConfigPage();

}  // namespace orvelo
