#include "collection/collection_texts.h"

#include <QStringList>

#include "core/text.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

QString countsText(const QString& head, int readCount, const QString& middle, int storedCount,
                   const QString& tail, int rejected) {
    return head + QString::number(readCount) + middle + QString::number(storedCount) + tail +
           QString::number(rejected) + u"条。"_s;
}

}  // namespace

QString collectionSuccessLine() {
    return u"数据采集成功！"_s;
}

QString collectionCaption() {
    return u"数据采集"_s;
}

QString collectionSummaryText(int readCount, int storedCount) {
    return countsText(u"共采集数据记录"_s, readCount, u"条；其中有效数据记录"_s, storedCount,
                      u"条，重复或无效数据记录"_s, readCount - storedCount);
}

QString rawImportSuccessLine() {
    return u"原始记录数据导入成功！"_s;
}

QString rawImportCaption() {
    return u"原始数据导入"_s;
}

QString rawImportLogSummaryText(int readCount, int storedCount) {
    return countsText(u"共导入原始记录数据"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, readCount - storedCount);
}

QString rawImportBoxSummaryText(int readCount, int storedCount) {
    return countsText(u"共导入原始数据记录"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, readCount - storedCount);
}

QString collectionSummaryText(int readCount, int storedCount, int rejected) {
    return countsText(u"共采集数据记录"_s, readCount, u"条；其中有效数据记录"_s, storedCount,
                      u"条，重复或无效数据记录"_s, rejected);
}

QString rawImportLogSummaryText(int readCount, int storedCount, int rejected) {
    return countsText(u"共导入原始记录数据"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, rejected);
}

QString rawImportBoxSummaryText(int readCount, int storedCount, int rejected) {
    return countsText(u"共导入原始数据记录"_s, readCount, u"条；其中有效数据"_s, storedCount,
                      u"条，重复或无效数据"_s, rejected);
}

QString collectionLinkFailedLine(int readCount) {
    return u"数据采集未完成！与设备的连接在读取%1条记录后中断，再次执行本命令可采集其余记录。"_s.arg(
        readCount);
}

QString collectionShortOfTotalLine(int readCount, int total) {
    return u"数据采集未完成！设备报告有%1条记录，只收到%2条，再次执行本命令可采集其余记录。"_s.arg(total).arg(
        readCount);
}

QString collectionStoppedByDatabaseLine(int readCount) {
    return u"数据采集未完成！数据库无法写入，采集在读取%1条记录后停止；设备上未读取的记录不受影响，"
           u"数据库恢复可用后再次执行本命令可采集其余记录。"_s.arg(readCount);
}

QString usbImportStoppedByDatabaseLine(int readCount) {
    return u"数据采集未完成！数据库无法写入，导入在读取%"
           u"1条记录后停止；数据库恢复可用后再次导入该U盘数据文件，"
           u"已存入的记录不会重复。"_s.arg(readCount);
}

QString collectionCancelledLine(int readCount) {
    return u"数据采集未完成！采集已取消，在读取%1条记录后停止；设备上未读取的记录不受影响，"
           u"再次执行本命令可采集其余记录。"_s.arg(readCount);
}

QString usbImportCancelledLine(int readCount) {
    return u"数据采集未完成！导入已取消，在读取%1条记录后停止；再次导入该U盘数据文件可导入其余记录，"
           u"已存入的记录不会重复。"_s.arg(readCount);
}

QString collectionRefusedLine(int refused, const QString& rawFile) {
    return u"其中%1条记录被数据库拒绝写入，已保存在原始记录文件%2中；数据库恢复可用后，"
           u"用“刷卡文件导入”（orveloctl import-raw）导入该文件即可存入。"_s.arg(refused)
               .arg(rawFile);
}

QString rawImportRefusedLine(int refused, const QString& rawFile) {
    return u"其中%1条记录被数据库拒绝写入；数据库恢复可用后，再次用“刷卡文件导入”（orveloctl import-raw）"
           u"导入原始记录文件%2即可存入，已存入的记录不会重复。"_s.arg(refused)
               .arg(rawFile);
}

QString unknownPersonsLine(int records, const std::vector<std::int32_t>& enrollNumbers, bool more,
                           const QString& rawFile) {
    QStringList numbers;
    // The enroll number as the employee table's 登记号码 holds it.
    for (const std::int32_t number : enrollNumbers) numbers << zeroPad(number, 5);
    if (more) numbers << u"…"_s;
    return u"其中%1条记录的人员不存在（登记号码：%2），已保存在原始记录文件%3中，"
           u"录入这些人员后可用“刷卡文件导入”（orveloctl import-raw）再次导入。"_s.arg(records)
               .arg(numbers.join(u", "_s), rawFile);
}

QString rawImportStoppedByDatabaseLine(int lineNumber) {
    return u"原始记录数据导入未完成！数据库无法写入，导入在第%1行停止。"_s.arg(lineNumber);
}

QString rawImportCancelledLine(int lineNumber) {
    return u"原始记录数据导入未完成！导入已取消，在第%1行停止，该行及其后各行没有导入；"
           u"再次导入该原始记录文件可导入其余记录，已存入的记录不会重复。"_s.arg(lineNumber);
}

QString rawImportCutLineSkippedLine(int lineNumber) {
    return u"原始记录文件第%1行没有写完（记录时被中断），已跳过。"_s.arg(lineNumber);
}
QString usbImportSkippedLinesLine(int skipped) {
    return u"U盘数据文件中有%1行无法识别，已跳过。"_s.arg(skipped);
}

}  // namespace orvelo
