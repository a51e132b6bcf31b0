#include "collection/collection_texts.h"

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

}  // namespace orvelo
