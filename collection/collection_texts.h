#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace orvelo {

// What the collection commands report at their end.
QString collectionSuccessLine();                                  // "数据采集成功！"
QString collectionCaption();                                      // "数据采集"
QString collectionSummaryText(int readCount, int storedCount);    // log line and box text
QString rawImportSuccessLine();                                   // "原始记录数据导入成功！"
QString rawImportCaption();                                       // "原始数据导入"
QString rawImportLogSummaryText(int readCount, int storedCount);  // "共导入原始记录数据..."
QString rawImportBoxSummaryText(int readCount, int storedCount);  // "共导入原始数据记录..."

// The same summaries when the database refused some records: those are not among the duplicates
// and unknown persons ("重复或无效"), they get a line of their own.
QString collectionSummaryText(int readCount, int storedCount, int rejected);
QString rawImportLogSummaryText(int readCount, int storedCount, int rejected);
QString rawImportBoxSummaryText(int readCount, int storedCount, int rejected);

// A download that did not reach the end of the terminal's log.
QString collectionLinkFailedLine(int readCount);               // the link failed after N records
QString collectionShortOfTotalLine(int readCount, int total);  // a clean end before the total
QString collectionStoppedByDatabaseLine(int readCount);        // the walk stopped, the rest stays new
QString usbImportStoppedByDatabaseLine(int readCount);         // the same for a USB-disk log file
// The operator cancelled the command (the window's 取消, orveloctl's SIGINT / SIGTERM): where it
// stopped, and that running it again brings the rest.
QString collectionCancelledLine(int readCount);  // the rest stays new on the terminal
QString usbImportCancelledLine(int readCount);   // importing the file again stores the rest
// Records the database refused, kept in `rawFile`: what brings them in.
QString collectionRefusedLine(int refused, const QString& rawFile);
QString rawImportRefusedLine(int refused, const QString& rawFile);
QString rawImportStoppedByDatabaseLine(int lineNumber);
// Cancelled before line `lineNumber`: it and the lines after it were not imported.
QString rawImportCancelledLine(int lineNumber);
// The last line of a journal (.part) cut without its line end, skipped by the import.
QString rawImportCutLineSkippedLine(int lineNumber);
// Records of persons missing from the employee table, kept in `rawFile`: how many, the first
// enroll numbers (`more`: there are others) and what brings them in once the persons are entered.
QString unknownPersonsLine(int records, const std::vector<std::int32_t>& enrollNumbers, bool more,
                           const QString& rawFile);
// A USB-disk log file of which some lines could not be read.
QString usbImportSkippedLinesLine(int skipped);

}  // namespace orvelo
