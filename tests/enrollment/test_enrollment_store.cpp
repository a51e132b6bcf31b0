#include <gtest/gtest.h>

#include <vector>

#include "core/errors.h"
#include "db/data_module.h"
#include "enrollment/enrollment_store.h"
#include "tests/support/test_database.h"

namespace orvelo::test {
namespace {

class EnrollmentStoreTest : public testing::Test {
protected:
    TestDatabase db;

    QList<QVariantMap> storedRows() {
        return db.rows(
            QStringLiteral("select emplid, cardno, backupid, privilege, pws, fingerdata from equfinger order "
                           "by emplid, backupid"));
    }
};

TEST_F(EnrollmentStoreTest, WritesTheRowOfTheExample) {
    const std::vector<std::int32_t> values = {12, -3, 0};
    EnrollmentStore store(db.data());
    store.store(QStringLiteral("00000123"), 123, 0, 0, 0, values);

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("emplid")).toString(), QStringLiteral("00000123"));
    EXPECT_EQ(rows[0].value(QStringLiteral("cardno")).toString(), QStringLiteral("00123"));
    EXPECT_EQ(rows[0].value(QStringLiteral("backupid")).toInt(), 0);
    EXPECT_EQ(rows[0].value(QStringLiteral("privilege")).toInt(), 0);
    EXPECT_EQ(rows[0].value(QStringLiteral("pws")).toString(), QStringLiteral("0"));
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(), QStringLiteral("12\r\n-3\r\n0\r\n"));

    // The store's query is left closed with the two lines and the parameter for its next store to
    // clear; the data module's queries are not the store's.
    EXPECT_FALSE(store.query().isOpen());
    EXPECT_TRUE(db.data().qry_1.sql().isEmpty());
    EXPECT_EQ(
        store.query().sql(),
        QStringLiteral("delete  from  equfinger   where emplid='00000123'and cardno='00123'and backupid=0\r\n"
                       "insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values("
                       "'00000123','00123',0,0,'0',:fpdata)\r\n"));
}

TEST_F(EnrollmentStoreTest, StoringTheSameEnrollmentTwiceKeepsTheSecond) {
    StoreEnrollment(db.data(), QStringLiteral("00000007"), 7, 3, 0, 0, std::vector<std::int32_t>{1, 2});
    StoreEnrollment(db.data(), QStringLiteral("00000007"), 7, 3, 1, 4321, std::vector<std::int32_t>{5, 6, 7});

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("cardno")).toString(), QStringLiteral("00007"));
    EXPECT_EQ(rows[0].value(QStringLiteral("privilege")).toInt(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("pws")).toString(), QStringLiteral("4321"));
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(), QStringLiteral("5\r\n6\r\n7\r\n"));
}

TEST_F(EnrollmentStoreTest, OnlyTheSameThreeValuesAreReplaced) {
    db.addEnrollment(QStringLiteral("A123"), QStringLiteral("00123"), 0, 0, QStringLiteral("0"),
                     QStringLiteral("9\r\n"));
    db.addEnrollment(QStringLiteral("00000123"), QStringLiteral("00123"), 1, 0, QStringLiteral("0"),
                     QStringLiteral("8\r\n"));
    db.addEnrollment(QStringLiteral("00000123"), QStringLiteral("01230"), 0, 0, QStringLiteral("0"),
                     QStringLiteral("7\r\n"));

    StoreEnrollment(db.data(), QStringLiteral("00000123"), 123, 0, 0, 0, std::vector<std::int32_t>{1});

    EXPECT_EQ(db.rowCount(QStringLiteral("equfinger")), 4);
    EXPECT_EQ(db.scalar(QStringLiteral("select fingerdata from equfinger where emplid='A123'")).toString(),
              QStringLiteral("9\r\n"));
}

TEST_F(EnrollmentStoreTest, NegativeAndLargeNumbers) {
    StoreEnrollment(db.data(), QStringLiteral("00123456"), 123456, 10, -1, -2147483647 - 1,
                    std::vector<std::int32_t>{-2147483647 - 1, 2147483647});

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("cardno")).toString(), QStringLiteral("123456"));
    EXPECT_EQ(rows[0].value(QStringLiteral("backupid")).toInt(), 10);
    EXPECT_EQ(rows[0].value(QStringLiteral("privilege")).toInt(), -1);
    EXPECT_EQ(rows[0].value(QStringLiteral("pws")).toString(), QStringLiteral("-2147483648"));
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(),
              QStringLiteral("-2147483648\r\n2147483647\r\n"));
}

TEST_F(EnrollmentStoreTest, ZeroTemplatesOfBothLengths) {
    StoreEnrollment(db.data(), QStringLiteral("E458"), 1, 0, 0, 0, std::vector<std::int32_t>(458, 0));
    StoreEnrollment(db.data(), QStringLiteral("E459"), 1, 0, 0, 0, std::vector<std::int32_t>(459, 0));
    EXPECT_EQ(
        db.scalar(QStringLiteral("select length(fingerdata) from equfinger where emplid='E458'")).toInt(),
        1374);
    EXPECT_EQ(
        db.scalar(QStringLiteral("select length(fingerdata) from equfinger where emplid='E459'")).toInt(),
        1377);
}

TEST_F(EnrollmentStoreTest, QuotesAndColonsInTheEmployeeNumberAreData) {
    const QString employee = QStringLiteral("O'Hara:fpdata ");
    StoreEnrollment(db.data(), employee, 5, 0, 0, 0, std::vector<std::int32_t>{1});
    StoreEnrollment(db.data(), employee, 5, 0, 0, 0, std::vector<std::int32_t>{2});

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("emplid")).toString(), employee);
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(), QStringLiteral("2\r\n"));
}

TEST_F(EnrollmentStoreTest, ARefusedInsertKeepsTheOldRow) {
    StoreEnrollment(db.data(), QStringLiteral("00000001"), 1, 0, 0, 0, std::vector<std::int32_t>{1});
    db.exec(
        QStringLiteral("create trigger refuse_privilege before insert on equfinger when new.privilege = 99 "
                       "begin select raise(abort, 'refused'); end"));

    EXPECT_THROW(
        StoreEnrollment(db.data(), QStringLiteral("00000001"), 1, 0, 99, 0, std::vector<std::int32_t>{2}),
        DatabaseError);

    const auto rows = storedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(QStringLiteral("fingerdata")).toString(), QStringLiteral("1\r\n"));
    // The connection is usable afterwards: no transaction is left open.
    StoreEnrollment(db.data(), QStringLiteral("00000001"), 1, 0, 1, 0, std::vector<std::int32_t>{3});
    EXPECT_EQ(db.scalar(QStringLiteral("select fingerdata from equfinger")).toString(),
              QStringLiteral("3\r\n"));
}

}  // namespace
}  // namespace orvelo::test
