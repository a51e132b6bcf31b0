#pragma once

// Running orveloctl from a test: as a program (its real exit status, output and error output) or
// in this process through runOrveloctl (where a test's own commands are registered).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "cli/orveloctl.h"

namespace orvelo::test {

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

inline ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << program.toStdString();
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline QString readBack(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(n));
    return QString::fromUtf8(bytes);
}

inline ProgramRun runInProcess(const QStringList& arguments) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ProgramRun run;
    run.status = cli::runOrveloctl(QStringList{QStringLiteral("orveloctl")} + arguments, out, err);
    run.out = readBack(out);
    run.err = readBack(err);
    std::fclose(out);
    std::fclose(err);
    return run;
}

}  // namespace orvelo::test
