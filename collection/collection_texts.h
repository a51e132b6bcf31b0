#pragma once

#include <QString>

namespace orvelo {

// What the collection commands report at their end.
QString collectionSuccessLine();                                  // "数据采集成功！"
QString collectionCaption();                                      // "数据采集"
QString collectionSummaryText(int readCount, int storedCount);    // log line and box text
QString rawImportSuccessLine();                                   // "原始记录数据导入成功！"
QString rawImportCaption();                                       // "原始数据导入"
QString rawImportLogSummaryText(int readCount, int storedCount);  // "共导入原始记录数据..."
QString rawImportBoxSummaryText(int readCount, int storedCount);  // "共导入原始数据记录..."

}  // namespace orvelo
