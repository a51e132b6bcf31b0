#pragma once

#include <QIcon>
#include <QList>

namespace orvelo {

// The four 16 x 16 pictures of pgc_Device's tabs, in page order: a terminal (设备设置), records
// flowing into a tray (数据采集), a person (人员注册) and a cog wheel (系统配置).
QList<QIcon> pageIcons();

}  // namespace orvelo
