#include "directory/list_statements.h"

#include "core/text.h"

namespace orvelo {

QString activeListSql() {
    return QStringLiteral(
        "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb 性别,"
        "he.entrydate 入职日期 from hremployee he,hrdept hd,(select * from systxtset where texttype='sex') s "
        "where he.deptid=hd.deptid and he.leavedate is null and he.sex=s.textvalue");
}

QString departedListSql() {
    return QStringLiteral(
        "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb 性别,"
        "he.entrydate 入职日期,he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from systxtset "
        "where texttype='sex') s  where he.deptid=hd.deptid and he.leavedate is not null and "
        "he.sex=s.textvalue");
}

QString enrollmentDetailSql() {
    return QStringLiteral(
        "select ef.cardno 登记号码,s.gb  登记类型,t1.gb 权限 from equfinger ef,(select * from systxtset "
        "where "
        "texttype='BackupID') s,(select * from systxtset where  texttype='privilege') t1 where "
        "ef.backupid=s.textvalue and ef.privilege=t1.textvalue and ef.cardno=:登记号码");
}

QString containsLiteral(const QString& keyword) {
    return sqlQuoted(u'%' + keyword + u'%');
}

QString activeSearchSql(const QString& keyword) {
    const QString literal = containsLiteral(keyword);
    return activeListSql() + u" and (hd.deptname like" + literal + u" or he.emplid like" + literal +
           u" or he.cardid like" + literal + u" or he.emplname like" + literal + u" )";
}

QStringList departedSearchSql(const QString& keyword) {
    const QString literal = containsLiteral(keyword);
    return {
        QStringLiteral(
            "SELECT hd.deptname 机构名称,he.emplid 人员编号,he.emplname 姓名,he.cardid 登记号码,s.gb 性别,"
            "he.entrydate 入职日期,he.leavedate 离职日期 from hremployee he,hrdept hd,(select * from "
            "systxtset where texttype='sex') s"),
        u"where he.deptid=hd.deptid and he.leavedate is not null and he.sex=s.textvalue and (hd.deptname "
        u"like " +
            literal + u" or he.emplid like " + literal + u" or he.cardid like " + literal +
            u" or he.emplname like " + literal + u" )",
    };
}

}  // namespace orvelo
