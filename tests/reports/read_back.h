#pragma once

// What the export tests read their files back with: Python's csv module and Python's zipfile with
// the sheet XML (readers that are not ours), and orveloctl run as the program.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace orvelo::reports::readback {

using Records = QList<QStringList>;

struct ReadBack {
    bool bom = false;
    Records records;
};

// Python's csv module's view of the bytes.
inline ReadBack readCsv(const QByteArray& bytes) {
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(READ_CSV_SCRIPT)});
    python.write(bytes);
    python.closeWriteChannel();
    EXPECT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject result = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    ReadBack read;
    read.bom = result.value(QStringLiteral("bom")).toBool();
    for (const QJsonValue& record : result.value(QStringLiteral("records")).toArray()) {
        QStringList fields;
        for (const QJsonValue& field : record.toArray()) fields << field.toString();
        read.records << fields;
    }
    return read;
}

// The workbook at `path` as read_xlsx.py describes it: {"sheets": [{name, cells, pane, cols,
// rows}]}; empty when Python could not read it (the test has failed then).
inline QJsonObject readWorkbook(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(READ_XLSX_SCRIPT), path});
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// orveloctl export, run as the program.
struct ProgramRun {
    int status = -1;
    QByteArray out;
    QString err;
};

inline ProgramRun orveloctl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(ORVELOCTL_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace orvelo::reports::readback
