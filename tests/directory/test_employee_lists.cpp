#include <gtest/gtest.h>

#include <QTextStream>

#include "core/errors.h"
#include "directory/employee_listing.h"
#include "directory/employee_lists.h"
#include "directory/employee_search.h"
#include "directory/list_statements.h"
#include "directory/selected_employees.h"
#include "tests/directory/directory_fixture.h"

using namespace Qt::StringLiterals;

namespace orvelo {
namespace {

using test::DirectoryFixture;

const QString kEmplid = QStringLiteral("人员编号");
const QString kCardid = QStringLiteral("登记号码");

class EmployeeListsTest : public ::testing::Test, public DirectoryFixture {
protected:
    void switchPage(int page) {
        grids.setShownPage(page);
        pgc_employeeChange(ctx, grids, page);
    }
    QItemSelectionModel& active() { return grids.rowSelection(EmployeeGrid::dbgrdh_3); }
    QItemSelectionModel& departed() { return grids.rowSelection(EmployeeGrid::dbgrdh_4); }
};

TEST_F(EmployeeListsTest, InnerJoinsDropEmployeesWithoutDepartmentOrSexText) {
    OpenEmployeeLists(data);

    EXPECT_EQ(data.qry_3.columnNames(),
              (QStringList{QStringLiteral("机构名称"), kEmplid, QStringLiteral("姓名"), kCardid,
                           QStringLiteral("性别"), QStringLiteral("入职日期")}));
    EXPECT_EQ(sorted(column(data.qry_3, kEmplid)),
              (QStringList{u"E001"_s, u"E002"_s, u"E003"_s, u"E004"_s, u"E007"_s}));
    // Departed employees only in the departed list, with the leaving date as seventh column.
    EXPECT_EQ(sorted(column(data.qry_4, kEmplid)), (QStringList{u"D001"_s, u"D002"_s}));
    ASSERT_EQ(data.qry_4.columnCount(), 7);
    EXPECT_EQ(data.qry_4.columnNames().at(6), QStringLiteral("离职日期"));
    EXPECT_EQ(data.qry_4.value(rowOf(data.qry_4, u"D001"_s), 6).toString(), u"2023-06-30"_s);
    EXPECT_EQ(data.qry_3.value(0, QStringLiteral("性别")).toString(), u"男"_s);
}

TEST_F(EmployeeListsTest, DetailsFollowTheCurrentRowOfTheActiveList) {
    OpenEmployeeLists(data);
    // After the opening the first row is current and the details are its enrollments.
    ASSERT_EQ(data.qry_3.currentRow(), 0);
    ASSERT_TRUE(data.qry_5.isOpen());
    EXPECT_EQ(data.qry_5.columnNames(),
              (QStringList{kCardid, QStringLiteral("登记类型"), QStringLiteral("权限")}));
    for (int row = 0; row < data.qry_5.rowCount(); ++row)
        EXPECT_EQ(data.qry_5.value(row, kCardid), data.qry_3.value(0, kCardid));

    data.qry_3.setCurrentRow(rowOf(data.qry_3, u"E001"_s));
    EXPECT_EQ(sorted(column(data.qry_5, QStringLiteral("登记类型"))), (QStringList{u"卡号"_s, u"指纹0"_s}));
    EXPECT_EQ(column(data.qry_5, QStringLiteral("权限")), (QStringList{u"普通用户"_s, u"普通用户"_s}));

    // An enrollment whose privilege has no text is not shown.
    data.qry_3.setCurrentRow(rowOf(data.qry_3, u"E003"_s));
    EXPECT_EQ(data.qry_5.rowCount(), 0);
}

TEST_F(EmployeeListsTest, PageSwitchRetargetsTheDetailsAndFitsTheShownGrid) {
    OpenEmployeeLists(data);
    switchPage(1);
    EXPECT_EQ(grids.fitted, (QList<EmployeeGrid>{EmployeeGrid::dbgrdh_4, EmployeeGrid::dbgrdh_5}));
    EXPECT_EQ(data.qry_5.masterSource(), &data.ds_4);
    // The details follow the departed list, and no longer the active one.
    data.qry_4.setCurrentRow(rowOf(data.qry_4, u"D001"_s));
    EXPECT_EQ(column(data.qry_5, QStringLiteral("登记类型")), QStringList{u"密码"_s});
    EXPECT_EQ(column(data.qry_5, QStringLiteral("权限")), QStringList{u"超级管理员"_s});
    data.qry_3.setCurrentRow(rowOf(data.qry_3, u"E002"_s));
    EXPECT_EQ(column(data.qry_5, QStringLiteral("登记类型")), QStringList{u"密码"_s});

    grids.fitted.clear();
    switchPage(0);
    EXPECT_EQ(grids.fitted, (QList<EmployeeGrid>{EmployeeGrid::dbgrdh_3, EmployeeGrid::dbgrdh_5}));
    EXPECT_EQ(data.qry_5.masterSource(), &data.ds_3);
    data.qry_3.setCurrentRow(rowOf(data.qry_3, u"E002"_s));
    EXPECT_EQ(column(data.qry_5, QStringLiteral("登记类型")), QStringList{u"指纹1"_s});
    EXPECT_EQ(column(data.qry_5, QStringLiteral("权限")), QStringList{u"管理员"_s});
}

TEST_F(EmployeeListsTest, SelectedEmployeesAreVisitedInListOrderWhateverTheClickOrder) {
    OpenEmployeeLists(data);
    ctrlClick(active(), 2);
    ctrlClick(active(), 0);
    ctrlClick(active(), 1);

    SelectedEmployees selection(data, grids);
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(selection.count(), 3);
        QStringList visited;
        for (int i = 0; i < 3; ++i) {
            selection.makeCurrent(i);
            EXPECT_EQ(data.qry_3.currentRow(), i);
            // The selection model's cursor moves too, the selection does not.
            EXPECT_EQ(active().currentIndex().row(), i);
            EXPECT_EQ(selectedCount(active()), 3);
            // The details follow the employee being worked on.
            for (int row = 0; row < data.qry_5.rowCount(); ++row)
                EXPECT_EQ(data.qry_5.value(row, kCardid), selection.value(kCardid));
            visited.append(selection.value(kEmplid).toString());
        }
        EXPECT_EQ(visited, column(data.qry_3, kEmplid).mid(0, 3));
        // The command ends on the last selected row; a second run acts on the same rows.
        EXPECT_EQ(data.qry_3.currentRow(), 2);
    }
}

TEST_F(EmployeeListsTest, SelectionOfTheShownPageOnly) {
    OpenEmployeeLists(data);
    ctrlClick(departed(), 1);
    grids.setShownPage(0);
    ctrlClick(active(), 3);
    ctrlClick(active(), 4);
    SelectedEmployees selection(data, grids);
    ASSERT_EQ(selection.count(), 2);
    selection.makeCurrent(0);
    EXPECT_EQ(selection.value(kEmplid), data.qry_3.value(3, kEmplid));
    // The departed list is not moved by a command on the active one.
    EXPECT_EQ(data.qry_4.currentRow(), 0);

    grids.setShownPage(1);
    ASSERT_EQ(selection.count(), 1);
    selection.makeCurrent(0);
    EXPECT_EQ(selection.value(kEmplid), data.qry_4.value(1, kEmplid));
}

TEST_F(EmployeeListsTest, SelectAllTicksOnlyTheShownList) {
    OpenEmployeeLists(data);
    data.qry_3.setCurrentRow(2);
    chk_SelectAllClick(ctx, grids, true);
    EXPECT_EQ(selectedCount(active()), data.qry_3.rowCount());
    EXPECT_EQ(selectedCount(departed()), 0);
    // The current row stays where it was.
    EXPECT_EQ(data.qry_3.currentRow(), 2);
    // Ticking again keeps every row selected once.
    chk_SelectAllClick(ctx, grids, true);
    EXPECT_EQ(SelectedEmployees(data, grids).count(), data.qry_3.rowCount());

    // Unticking on the departed page empties only the departed selection.
    grids.setShownPage(1);
    ctrlClick(departed(), 0);
    chk_SelectAllClick(ctx, grids, false);
    EXPECT_EQ(selectedCount(departed()), 0);
    EXPECT_EQ(selectedCount(active()), data.qry_3.rowCount());
}

TEST_F(EmployeeListsTest, EveryOpeningEmptiesBothSelections) {
    OpenEmployeeLists(data);
    chk_SelectAllClick(ctx, grids, true);
    ctrlClick(departed(), 0);
    switchPage(1);
    switchPage(0);
    EXPECT_EQ(selectedCount(active()), 0);
    EXPECT_EQ(selectedCount(departed()), 0);
    EXPECT_EQ(SelectedEmployees(data, grids).count(), 0);

    chk_SelectAllClick(ctx, grids, true);
    btn_searchClick(ctx, grids, u"Sales"_s);
    EXPECT_EQ(selectedCount(active()), 0);
}

TEST_F(EmployeeListsTest, SelectingEveryRowOfAClosedListDoesNothing) {
    chk_SelectAllClick(ctx, grids, true);
    EXPECT_EQ(selectedCount(active()), 0);
    EXPECT_EQ(SelectedEmployees(data, grids).count(), 0);
}

TEST_F(EmployeeListsTest, OnlyTheEnrollmentPageReloadsTheLists) {
    OpenEmployeeLists(data);
    btn_searchClick(ctx, grids, u"Sales"_s);
    ctrlClick(active(), 0);
    grids.fitted.clear();
    for (int page : {0, 1, 3}) pgc_DeviceChange(ctx, grids, page);
    EXPECT_TRUE(grids.fitted.isEmpty());
    EXPECT_EQ(selectedCount(active()), 1);
    EXPECT_EQ(data.qry_3.rowCount(), 3);  // the search stays in force

    pgc_DeviceChange(ctx, grids, 2);
    EXPECT_EQ(grids.fitted, (QList<EmployeeGrid>{EmployeeGrid::dbgrdh_3, EmployeeGrid::dbgrdh_5}));
    EXPECT_EQ(selectedCount(active()), 0);
    EXPECT_EQ(data.qry_3.rowCount(), 5);
}

TEST_F(EmployeeListsTest, ARefreshThatFailsLeavesTheFailingListClosedAndFitsNothing) {
    OpenEmployeeLists(data);
    db.exec(u"alter table hrdept rename to hrdept_away"_s);
    EXPECT_THROW(RefreshEmployeeLists(data, grids), DatabaseError);
    EXPECT_FALSE(data.qry_3.isOpen());
    EXPECT_TRUE(grids.fitted.isEmpty());

    db.exec(u"alter table hrdept_away rename to hrdept"_s);
    RefreshEmployeeLists(data, grids);
    EXPECT_TRUE(data.qry_3.isOpen());
    EXPECT_TRUE(data.qry_4.isOpen());
    EXPECT_TRUE(data.qry_5.isOpen());
}

// --- the search -------------------------------------------------------------------------------

struct KeywordCase {
    const char16_t* keyword;
    QStringList active;
    QStringList departed;
};

class EmployeeSearchTest : public ::testing::TestWithParam<KeywordCase>, public DirectoryFixture {};

TEST_P(EmployeeSearchTest, NarrowsBothListsByDepartmentIdRegistrationNumberOrName) {
    OpenEmployeeLists(data);
    // A search already in force, so that an empty keyword has something to undo.
    btn_searchClick(ctx, grids, u"孙二"_s);
    ASSERT_EQ(data.qry_3.rowCount(), 0);
    grids.fitted.clear();

    btn_searchClick(ctx, grids, QString::fromUtf16(GetParam().keyword));
    EXPECT_EQ(sorted(column(data.qry_3, kEmplid)), GetParam().active);
    EXPECT_EQ(sorted(column(data.qry_4, kEmplid)), GetParam().departed);
    EXPECT_EQ(grids.fitted, (QList<EmployeeGrid>{EmployeeGrid::dbgrdh_3, EmployeeGrid::dbgrdh_5}));
    // The details follow the first employee found.
    for (int row = 0; row < data.qry_5.rowCount(); ++row)
        EXPECT_EQ(data.qry_5.value(row, kCardid), data.qry_3.value(0, kCardid));
}

const QStringList kAllActive = {u"E001"_s, u"E002"_s, u"E003"_s, u"E004"_s, u"E007"_s};
const QStringList kAllDeparted = {u"D001"_s, u"D002"_s};

INSTANTIATE_TEST_SUITE_P(
    Keywords, EmployeeSearchTest,
    ::testing::Values(
        // Part of two department names, and of the name "Salesman Bob".
        KeywordCase{u"Sales", {u"E002"_s, u"E004"_s, u"E007"_s}, {u"D001"_s}},
        // A leading blank stays part of the keyword.
        KeywordCase{u" Sales", {u"E002"_s}, {u"D001"_s}},
        // A whole name, and part of a name, in either list.
        KeywordCase{u"张三", {u"E001"_s}, {}}, KeywordCase{u"孙二", {}, {u"D002"_s}},
        KeywordCase{u"Bob", {u"E004"_s}, {}}, KeywordCase{u"张", {u"E001"_s}, {}},
        KeywordCase{u"钱", {}, {u"D001"_s}},
        // Employee ID and registration number.
        KeywordCase{u"E00", {u"E001"_s, u"E002"_s, u"E003"_s, u"E004"_s, u"E007"_s}, {}},
        KeywordCase{u"0010", {}, {u"D001"_s, u"D002"_s}}, KeywordCase{u"D002", {}, {u"D002"_s}},
        // A quote is part of the keyword, not the end of the literal.
        KeywordCase{u"O'Neil", {u"E003"_s}, {}}, KeywordCase{u"x' or '1'='1", {}, {}},
        // '_' and '%' keep acting as wildcards.
        KeywordCase{u"0_12", {u"E003"_s}, {}}, KeywordCase{u"总%", {u"E001"_s, u"E004"_s}, {u"D002"_s}},
        // An empty keyword, or blanks only, brings back both full lists.
        KeywordCase{u"", kAllActive, kAllDeparted}, KeywordCase{u" ", kAllActive, kAllDeparted},
        KeywordCase{u"   ", kAllActive, kAllDeparted}));

TEST_F(EmployeeListsTest, AKeywordOfBlanksEndsTheSearchAsAtStartUp) {
    OpenEmployeeLists(data);
    btn_searchClick(ctx, grids, u"Sales"_s);
    ctrlClick(active(), 1);
    grids.fitted.clear();

    for (const QString& keyword : {u"   "_s, QString()}) {
        btn_searchClick(ctx, grids, keyword);
        // The texts of the opening, not a search for the blanks.
        EXPECT_EQ(data.qry_3.sql(), activeListSql() + u"\r\n");
        EXPECT_EQ(data.qry_4.sql(), departedListSql() + u"\r\n");
        EXPECT_EQ(data.qry_5.sql(), enrollmentDetailSql() + u"\r\n");
        EXPECT_EQ(data.qry_3.rowCount(), 5);
        EXPECT_EQ(data.qry_4.rowCount(), 2);
        // Re-opened: the selection is empty and the first row current, as after any opening.
        EXPECT_EQ(selectedCount(active()), 0);
        EXPECT_EQ(data.qry_3.currentRow(), 0);
    }
    EXPECT_EQ(grids.fitted, (QList<EmployeeGrid>{EmployeeGrid::dbgrdh_3, EmployeeGrid::dbgrdh_5,
                                                 EmployeeGrid::dbgrdh_3, EmployeeGrid::dbgrdh_5}));
}

TEST_F(EmployeeListsTest, TheSearchSendsItsTextsAndAPageChangeEndsIt) {
    OpenEmployeeLists(data);
    btn_searchClick(ctx, grids, u"Sales"_s);
    EXPECT_EQ(data.qry_3.sql(), activeSearchSql(u"Sales"_s) + u"\r\n");
    EXPECT_EQ(data.qry_4.sql(), departedSearchSql(u"Sales"_s).join(u"\r\n") + u"\r\n");
    EXPECT_EQ(data.qry_5.sql(), enrollmentDetailSql() + u"\r\n");

    switchPage(1);
    EXPECT_EQ(data.qry_4.rowCount(), 2);
    switchPage(0);
    EXPECT_EQ(data.qry_3.rowCount(), 5);
}

TEST_F(EmployeeListsTest, ReopeningTheActiveListKeepsItsSearchAndFitsNothing) {
    OpenEmployeeLists(data);
    btn_searchClick(ctx, grids, u"Sales"_s);
    grids.fitted.clear();
    db.addActiveEmployee(u"E008"_s, u"00008"_s, u"新人"_s, u"04"_s);
    db.addActiveEmployee(u"E009"_s, u"00009"_s, u"别处"_s, u"01"_s);
    ReopenActiveList(data);
    EXPECT_EQ(sorted(column(data.qry_3, kEmplid)), (QStringList{u"E002"_s, u"E004"_s, u"E007"_s, u"E008"_s}));
    EXPECT_TRUE(grids.fitted.isEmpty());
}

// --- the listing of orveloctl --------------------------------------------------------------------

TEST_F(EmployeeListsTest, ListingPrintsTitlesRowsAndTheirDetails) {
    db.exec(u"delete from hremployee where emplid <> 'E001'"_s);
    db.exec(u"update hremployee set emplname = NULL"_s);
    OpenEmployeeLists(data);
    QString text;
    QTextStream out(&text);
    writeEmployeeListing(out, data.qry_3, data.qry_5);
    out.flush();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 5) << text.toStdString();
    EXPECT_EQ(lines[0], u"机构名称\t人员编号\t姓名\t登记号码\t性别\t入职日期"_s);
    EXPECT_EQ(lines[1], u"总部\tE001\t\t00001\t男\t2020-01-01"_s);
    EXPECT_EQ(sorted(lines.mid(2, 2)),
              (QStringList{u"\t00001\t卡号\t普通用户"_s, u"\t00001\t指纹0\t普通用户"_s}));
    EXPECT_EQ(lines[4], QString());
}

TEST_F(EmployeeListsTest, ListingOfTheDepartedShowsEachRowsOwnDetails) {
    grids.setShownPage(1);
    OpenEmployeeLists(data);
    pgc_employeeChange(ctx, grids, 1);
    QString text;
    QTextStream out(&text);
    writeEmployeeListing(out, data.qry_4, data.qry_5);
    out.flush();
    QStringList lines = text.split(u'\n');
    lines.removeLast();
    ASSERT_EQ(lines.size(), 4) << text.toStdString();
    const int d001 = int(lines.indexOf(u"East Sales\tD001\t钱一\t00101\t男\t2020-01-01\t2023-06-30"_s));
    ASSERT_GT(d001, 0) << text.toStdString();
    EXPECT_EQ(lines.at(d001 + 1), u"\t00101\t密码\t超级管理员"_s);
    EXPECT_TRUE(lines.contains(u"总部\tD002\t孙二\t00102\t男\t2020-01-01\t2022-01-15"_s));
}

TEST_F(EmployeeListsTest, ListingEscapesWhatWouldBreakItsColumnsOrLines) {
    EXPECT_EQ(listingField(u"a\tb\nc\r\\d\\t"_s), u"a\\tb\\nc\\r\\\\d\\\\t"_s);
    EXPECT_EQ(listingField(u"张三"_s), u"张三"_s);

    db.exec(u"delete from hremployee where emplid <> 'E001'"_s);
    db.exec(u"update hremployee set emplname = '张\t三' || char(10) || 'C:\\' where emplid = 'E001'"_s);
    OpenEmployeeLists(data);
    QString text;
    QTextStream out(&text);
    writeEmployeeListing(out, data.qry_3, data.qry_5);
    out.flush();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 5) << text.toStdString();
    EXPECT_EQ(lines[1], u"总部\tE001\t张\\t三\\nC:\\\\\t00001\t男\t2020-01-01"_s);
}

}  // namespace
}  // namespace orvelo
