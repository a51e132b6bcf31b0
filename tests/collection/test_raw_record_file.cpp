// Raw record lines both ways, the file name, writing (data folder, name clashes, journal) and
// reading (line ends).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <vector>

#include "collection/raw_record_file.h"
#include "core/errors.h"

namespace orvelo {
namespace {

using namespace Qt::StringLiterals;

DateTimeValue at(const QString& text) {
    const auto value = parseDateTimeText(text);
    EXPECT_TRUE(value.has_value()) << text.toStdString();
    return value.value_or(0);
}

struct LineCase {
    LogRecord record;      // as formatted
    QString line;          // the line written
    QString readBackTime;  // the record time read back (seconds dropped)
};

std::vector<LineCase> lineCases() {
    return {
        {{123, at(u"2005-03-07 08:15:40"_s), 2, 1}, u"001232005-03-07 08:152001"_s, u"2005-03-07 08:15:00"_s},
        {{123, at(u"2005-03-07 08:15:40"_s), 35, 1},
         u"001232005-03-07 08:1535001"_s,
         u"2005-03-07 08:15:00"_s},
        {{7, at(u"2019-12-31 23:59:59"_s), 11, 999},
         u"000072019-12-31 23:5911999"_s,
         u"2019-12-31 23:59:00"_s},
        {{99999, at(u"2005-03-07 00:00:00"_s), 0, 0},
         u"999992005-03-07 00:000000"_s,
         u"2005-03-07 00:00:00"_s},
        {{0, at(u"2005-03-07 12:00:00"_s), 33, 7}, u"000002005-03-07 12:0033007"_s, u"2005-03-07 12:00:00"_s},
        // Wider than the layout: written whole, found again by the shape of the date-time.
        {{123456, at(u"2005-03-07 08:15:40"_s), 2, 1},
         u"1234562005-03-07 08:152001"_s,
         u"2005-03-07 08:15:00"_s},
        {{2147483647, at(u"2005-03-07 08:15:40"_s), 35, 12},
         u"21474836472005-03-07 08:1535012"_s,
         u"2005-03-07 08:15:00"_s},
        {{-5, at(u"2005-03-07 08:15:40"_s), 4, 3}, u"-000052005-03-07 08:154003"_s, u"2005-03-07 08:15:00"_s},
    };
}

TEST(RawLine, FormatsAndReadsBack) {
    for (const LineCase& c : lineCases()) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(FormatRawLine(c.record), c.line);
        const LogRecord back = ParseRawLine(c.line);
        EXPECT_EQ(back.EnrollNumber, c.record.EnrollNumber);
        EXPECT_EQ(dateTimeText(back.RecordTime), c.readBackTime);
        EXPECT_EQ(back.RecordCode, c.record.RecordCode);
        EXPECT_EQ(back.MachineNo, c.record.MachineNo);
    }
}

TEST(RawLine, LengthFollowsTheRecordCode) {
    EXPECT_EQ(FormatRawLine({123, at(u"2005-03-07 08:15:40"_s), 4, 1}).size(), 25);
    EXPECT_EQ(FormatRawLine({123, at(u"2005-03-07 08:15:40"_s), 11, 1}).size(), 26);
}

TEST(RawLine, RecordCodeReadAsWritten) {
    // Not mapped again: a line's 1 stays 1 (mode code 1 would give 2).
    EXPECT_EQ(ParseRawLine(u"001232005-03-07 08:151001"_s).RecordCode, 1);
    EXPECT_EQ(ParseRawLine(u"001232005-03-07 08:157001"_s).RecordCode, 7);
}

TEST(RawLine, LinesThatDoNotParse) {
    struct Case {
        QString line;
        QString error;
    };
    const std::vector<Case> cases = {
        {u""_s, u"'' is not a valid integer value"_s},
        {u"abcde2005-03-07 08:152001"_s, u"'abcde' is not a valid integer value"_s},
        {u"001232005-13-07 08:152001"_s, u"'2005-13-07 08:15' is not a valid date and time"_s},
        {u"001232005-02-30 08:152001"_s, u"'2005-02-30 08:15' is not a valid date and time"_s},
        {u"001232005-03-07 24:002001"_s, u"'2005-03-07 24:00' is not a valid date and time"_s},
        {u"001232005/03/07 08:152001"_s, u"'2005/03/07 08:15' is not a valid date and time"_s},
        {u"00123"_s, u"'' is not a valid date and time"_s},
        {u"001232005-03-07 08:15001"_s, u"'' is not a valid integer value"_s},  // no record code
        {u"001232005-03-07 08:15x001"_s, u"'x' is not a valid integer value"_s},
        {u"001232005-03-07 08:15200a"_s, u"'00a' is not a valid integer value"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        try {
            ParseRawLine(c.line);
            ADD_FAILURE() << "parsed";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.text(), c.error);
        }
    }
}

TEST(RawLine, AnyRecordReadsBackFromItsLine) {
    // Enroll numbers of every width and sign, every record code, every machine number the line
    // can hold, times across the years: the line gives back the record (seconds dropped).
    std::mt19937 random(20240506);
    const std::int32_t codes[] = {0, 1, 2, 3, 4, 11, 33, 35};
    for (int i = 0; i < 20000; ++i) {
        const int width = int(random() % 10);
        std::int32_t enroll = std::int32_t(random() % 2147483648u);
        for (int d = 0; d < width; ++d) enroll /= 10;
        if (random() % 8 == 0) enroll = -enroll;
        const DateTimeValue time = double(random() % 73000) + double(random() % 86400) / 86400.0;
        const LogRecord record{enroll, time, codes[random() % 8], std::int32_t(random() % 1000)};
        const QString line = FormatRawLine(record);
        SCOPED_TRACE(line.toStdString());
        const LogRecord back = ParseRawLine(line);
        ASSERT_EQ(back.EnrollNumber, record.EnrollNumber);
        ASSERT_EQ(dateTimeText(back.RecordTime), dateTimeText(record.RecordTime).left(16) + u":00"_s);
        ASSERT_EQ(back.RecordCode, record.RecordCode);
        ASSERT_EQ(back.MachineNo, record.MachineNo);
    }
}

TEST(RawLine, ArbitraryTextFailsOnlyWithAConversionError) {
    std::mt19937 random(7);
    const QString alphabet = u"0123456789-: x$\t"_s;
    for (int i = 0; i < 20000; ++i) {
        QString line;
        const int length = int(random() % 40);
        for (int k = 0; k < length; ++k) line += alphabet.at(qsizetype(random() % alphabet.size()));
        try {
            ParseRawLine(line);
        } catch (const ConversionError&) {
        } catch (...) {
            ADD_FAILURE() << "unexpected error for " << line.toStdString();
        }
    }
}

TEST(RawFileName, CutFromTheDateTimeText) {
    EXPECT_EQ(RawFileName(u"/opt/orvelo/"_s, u"2005-03-07 09:00:12"_s),
              u"/opt/orvelo/data/FDataQ5050307090012.hv"_s);
    EXPECT_EQ(RawFileName(u"/a/"_s, u"2099-12-31 23:59:59"_s), u"/a/data/FDataQ5991231235959.hv"_s);
    EXPECT_EQ(rawDataFolder(u"/opt/orvelo/"_s), u"/opt/orvelo/data"_s);
}

QByteArray contents(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QStringList dataFiles(const QString& appDir) {
    return QDir(rawDataFolder(appDir)).entryList(QDir::Files, QDir::Name);
}

class RawFileWriting : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString appDir() const { return dir.path() + u'/'; }
    const DateTimeValue now = at(u"2005-03-07 09:00:12"_s);
};

TEST_F(RawFileWriting, LinesEndWithCrLfAndTheDataFolderIsCreated) {
    ASSERT_FALSE(QDir(rawDataFolder(appDir())).exists());
    RawRecordCollector raw(appDir(), now);
    raw.begin();
    raw.append(u"001232005-03-07 08:152001"_s);
    raw.append(u"001242005-03-07 08:1635001"_s);
    const QString path = raw.finish(now);
    EXPECT_EQ(path, appDir() + u"data/FDataQ5050307090012.hv"_s);
    EXPECT_EQ(contents(path), QByteArray("001232005-03-07 08:152001\r\n001242005-03-07 08:1635001\r\n"));
    // The journal became the file: nothing else is left behind.
    EXPECT_EQ(dataFiles(appDir()), QStringList{u"FDataQ5050307090012.hv"_s});
}

TEST_F(RawFileWriting, NothingDeliveredGivesAnEmptyFile) {
    RawRecordCollector raw(appDir(), now);
    raw.begin();
    const QString path = raw.finish(now);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(contents(path), QByteArray());
}

TEST_F(RawFileWriting, NameTakenGoesToTheNextFreeSecond) {
    ASSERT_TRUE(QDir().mkpath(rawDataFolder(appDir())));
    writeFile(appDir() + u"data/FDataQ5050307090012.hv"_s, "earlier\r\n");
    writeFile(appDir() + u"data/FDataQ5050307090013.hv"_s, "earlier too\r\n");

    RawRecordCollector raw(appDir(), now);
    raw.begin();
    raw.append(u"001232005-03-07 08:152001"_s);
    const QString path = raw.finish(now);
    EXPECT_EQ(path, appDir() + u"data/FDataQ5050307090014.hv"_s);
    EXPECT_EQ(contents(path), QByteArray("001232005-03-07 08:152001\r\n"));
    EXPECT_EQ(contents(appDir() + u"data/FDataQ5050307090012.hv"_s), QByteArray("earlier\r\n"));
    EXPECT_EQ(contents(appDir() + u"data/FDataQ5050307090013.hv"_s), QByteArray("earlier too\r\n"));
}

TEST_F(RawFileWriting, NameClashAcrossAMinuteAndADay) {
    const DateTimeValue late = at(u"2005-12-31 23:59:59"_s);
    ASSERT_TRUE(QDir().mkpath(rawDataFolder(appDir())));
    writeFile(appDir() + u"data/FDataQ5051231235959.hv"_s, "x");
    EXPECT_EQ(writeRawRecordFile(appDir(), {u"l"_s}, late), appDir() + u"data/FDataQ5060101000000.hv"_s);
}

TEST_F(RawFileWriting, TwoDownloadsInOneSecondKeepBothFiles) {
    RawRecordCollector first(appDir(), now);
    RawRecordCollector second(appDir(), now);
    first.begin();
    second.begin();
    first.append(u"A"_s);
    second.append(u"B"_s);
    EXPECT_NE(first.journalPath(), second.journalPath());
    const QString a = first.finish(now);
    const QString b = second.finish(now);
    EXPECT_NE(a, b);
    EXPECT_EQ(contents(a), QByteArray("A\r\n"));
    EXPECT_EQ(contents(b), QByteArray("B\r\n"));
    EXPECT_EQ(dataFiles(appDir()).size(), 2);
}

TEST_F(RawFileWriting, JournalHoldsEveryLineWhileReading) {
    RawRecordCollector raw(appDir(), now);
    raw.begin();
    raw.append(u"001232005-03-07 08:152001"_s);
    raw.append(u"001242005-03-07 08:162001"_s);
    const QString journal = raw.journalPath();
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_FALSE(journal.endsWith(u".hv"_s));  // the "*.hv" filter does not list it
    EXPECT_TRUE(journal.startsWith(rawDataFolder(appDir()) + u'/'));
    // Readable as it stands, by the raw record import, while the command still runs.
    EXPECT_EQ(readRawRecordLines(journal),
              (QStringList{u"001232005-03-07 08:152001"_s, u"001242005-03-07 08:162001"_s}));
}

TEST_F(RawFileWriting, CommandStoppedBeforeTheEndLeavesTheJournal) {
    QString journal;
    {
        RawRecordCollector raw(appDir(), now);
        raw.begin();
        raw.append(u"001232005-03-07 08:152001"_s);
        journal = raw.journalPath();
    }
    EXPECT_EQ(contents(journal), QByteArray("001232005-03-07 08:152001\r\n"));
}

TEST_F(RawFileWriting, WithoutJournalTheLinesStillReachTheFile) {
    // A journal that cannot be made (the folder is not there yet when reading starts and cannot
    // be created then) does not lose the lines kept in memory.
    ASSERT_TRUE(QDir().mkpath(dir.path() + u"/app"_s));
    const QString app = dir.path() + u"/app/"_s;
    writeFile(app + u"data"_s, "in the way");
    RawRecordCollector raw(app, now);
    raw.begin();
    EXPECT_TRUE(raw.journalPath().isEmpty());
    raw.append(u"L1"_s);
    raw.append(u"L2"_s);
    ASSERT_TRUE(QFile::remove(app + u"data"_s));
    const QString path = raw.finish(now);
    EXPECT_EQ(contents(path), QByteArray("L1\r\nL2\r\n"));
}

TEST_F(RawFileWriting, DataFolderThatCannotBeCreatedIsAFileError) {
    writeFile(appDir() + u"data"_s, "a file, not a folder");
    RawRecordCollector raw(appDir(), now);
    raw.begin();
    raw.append(u"L1"_s);
    EXPECT_THROW(raw.finish(now), FileError);
    EXPECT_THROW(writeRawRecordFile(appDir(), {u"L1"_s}, now), FileError);
}

TEST(RawFileReading, LineEnds) {
    struct Case {
        QByteArray bytes;
        QStringList lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a\r\nb\r\n", {u"a"_s, u"b"_s}},
        {"a\r\nb", {u"a"_s, u"b"_s}},  // last line without line end
        {"a\rb\nc\r\n", {u"a"_s, u"b"_s, u"c"_s}},
        {"a\n\nb\n", {u"a"_s, u""_s, u"b"_s}},
        {"a\r\n\r\n", {u"a"_s, u""_s}},  // a final empty line is a line
        {"\r\n", {u""_s}},
        {"a\r\r\nb", {u"a"_s, u""_s, u"b"_s}},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        const QString path = dir.path() + u"/f.hv"_s;
        writeFile(path, c.bytes);
        EXPECT_EQ(readRawRecordLines(path), c.lines);
    }
}

TEST(RawFileReading, MissingFileIsAFileError) {
    QTemporaryDir dir;
    EXPECT_THROW(readRawRecordLines(dir.path() + u"/none.hv"_s), FileError);
}

}  // namespace
}  // namespace orvelo
