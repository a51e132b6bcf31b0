#pragma once

// Every statement text the system sends, built piece by piece as the commands build them, so the
// database tests run exactly what reaches the server.

#include <QString>
#include <QStringList>

namespace orvelo::test {

inline const QString kActiveListText = QStringLiteral(
    "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
    "性别,he.entrydate 入职日期 "
    "from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s where he.deptid=hd.deptid "
    "and "
    "he.leavedate is null and he.sex=s.textvalue");

inline const QString kDepartedListText = QStringLiteral(
    "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
    "性别,he.entrydate 入职日期,"
    "he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s  "
    "where "
    "he.deptid=hd.deptid and he.leavedate is not null and he.sex=s.textvalue");

inline const QString kDetailListText = QStringLiteral(
    "select ef.cardno 登记号码,s.gb  登记类型,t1.gb 权限 from equfinger ef,(select * from systxtset where "
    "texttype='BackupID') s,(select * from systxtset where  texttype='privilege') t1 where "
    "ef.backupid=s.textvalue "
    "and ef.privilege=t1.textvalue and ef.cardno=:登记号码");

inline QString activeSearchText(const QString& k) {
    return QStringLiteral(
               "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb "
               "性别,he.entrydate "
               "入职日期 from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s where "
               "he.deptid=hd.deptid and he.leavedate is null and he.sex=s.textvalue and (hd.deptname "
               "like'%") +
           k + u"%" + u"'" + u" or he.emplid like" + u"'" + u"%" + k + u"%" + u"'" + u" or he.cardid like" +
           u"'" + u"%" + k + u"%" + u"'" + u" )";
}

inline QStringList departedSearchLines(const QString& k) {
    return {
        QStringLiteral(
            "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb 性别,"
            "he.entrydate 入职日期,he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from "
            "systxtset where texttype='sex') s"),
        QStringLiteral("where he.deptid=hd.deptid and he.leavedate is not null and he.sex=s.textvalue and "
                       "(hd.deptname like '%") +
            k + u"%" + u"'" + u" or he.emplid like " + u"'" + u"%" + k + u"%" + u"'" +
            u" or he.cardid like " + u"'" + u"%" + k + u"%" + u"'" + u" )"};
}

inline QString employeeLookupText(const QString& cardid5) {
    return u"select emplid from HrEmployee where cardid='" + cardid5 + u"'";
}

inline QString duplicateTestText(const QString& emplid, const QString& date, const QString& time) {
    return u"SELECT * fROM atdrecord WHERE ((emplid = '" + emplid + u"'" + u" )AND (recdate = " + u"'" +
           date + u"'" + u" )ANd (rectime = " + u"'" + time + u"'" + u"))";
}

// The nine values already joined with ',' and quoted as the record store writes them.
inline QString attendanceWriteBatch(const QString& testText, const QString& values) {
    return testText +
           u" INSERT INTO AtdRecord(EmplID, CardNo, RecDate, RecTime, IsAuto, EquNo, InOutType, OperId, "
           u"OperDate)VALUES (" +
           values + u")";
}

inline QStringList storeEnrollmentLines(const QString& emplid, const QString& cardno5, int backup,
                                        int privilege, int password) {
    return {u"delete  from  equfinger   where emplid='" + emplid + u"'" + u"and cardno=" + u"'" + cardno5 +
                u"'" + u"and backupid=" + QString::number(backup),
            u"insert equfinger (emplid,cardno,backupid,privilege,pws,fingerdata)values('" + emplid + u"'" +
                u"," + u"'" + cardno5 + u"'" + u"," + QString::number(backup) + u"," +
                QString::number(privilege) + u"," + u"'" + QString::number(password) + u"'" + u",:fpdata)"};
}

inline const QString kDefaultDepartmentText = QStringLiteral(
    "if not exists (select * from hrdept where deptid='01') insert hrdept (deptid,deptno,deptname) "
    "values('01','01','01')");

inline QString employeeExistsText(const QString& cardid5) {
    return u"select * from hremployee where cardid='" + cardid5 + u"'";
}

inline QString nameUpdateText(const QString& name, const QString& cardid5) {
    return u"update hremployee set emplname='" + name + u"'" + u" where cardid=" + u"'" + cardid5 + u"'";
}

// The new-employee and new-card lines of the download of all enrollments.
inline QStringList newEmployeeLines(const QString& emplid8, const QString& workid6, const QString& cardid5,
                                    const QString& name, const QString& now) {
    return {
        u"INSERT INTO hremployee(EmplID,workid, "
        u"Cardid,deptid,emplname,sex,married,identityid,password,teamid,"
        u"shiftid,weekendid,entrydate,leaveyn,remark,lastoperid,lastoperdate)VALUES ('" +
            emplid8 + u"','" + workid6 + u"','" + cardid5 + u"','01','" + name + u"',0,0,'','','','','','" +
            now.left(10) + u"',0,'','sa','" + now + u"')",
        u"insert into equcard(cardno,emplid,cardtype,cardstatus,operdate,operid,personverify)values('" +
            cardid5 + u"','" + emplid8 + u"','C001','1','" + now + u"','sa','')"};
}

inline QString uploadSelectText(const QString& emplid, const QString& registration) {
    return u"select * from equfinger where emplid='" + emplid + u"'" + u" and cardno=" + u"'" + registration +
           u"'";
}

}  // namespace orvelo::test
