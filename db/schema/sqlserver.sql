-- The six tables this client works in, for a test database on SQL Server (the production tables
-- belong to the larger personnel system). Widths hold the formats the client writes: employee
-- numbers of 8 digits, enroll numbers of 5 and more (6 and more in AtdRecord), machine numbers of
-- 3 and more, date-time texts of 19 characters.

CREATE TABLE hrdept (
    deptid   varchar(20) NOT NULL PRIMARY KEY,
    deptno   varchar(20) NULL,
    deptname nvarchar(100) NULL
);

CREATE TABLE hremployee (
    EmplID       varchar(20) NOT NULL PRIMARY KEY,
    workid       varchar(20) NULL,
    Cardid       varchar(20) NULL,
    deptid       varchar(20) NULL,
    emplname     nvarchar(50) NULL,
    sex          int NULL,
    married      int NULL,
    identityid   varchar(30) NULL,
    password     varchar(30) NULL,
    teamid       varchar(20) NULL,
    shiftid      varchar(20) NULL,
    weekendid    varchar(20) NULL,
    entrydate    varchar(10) NULL,
    leaveyn      int NULL,
    leavedate    date NULL,
    remark       nvarchar(200) NULL,
    lastoperid   varchar(20) NULL,
    lastoperdate varchar(19) NULL
);
CREATE INDEX hremployee_cardid ON hremployee (Cardid);

CREATE TABLE systxtset (
    texttype  varchar(20) NOT NULL,
    textvalue int NOT NULL,
    gb        nvarchar(50) NULL,
    PRIMARY KEY (texttype, textvalue)
);

CREATE TABLE equfinger (
    emplid     varchar(20) NULL,
    cardno     varchar(20) NULL,
    backupid   int NULL,
    privilege  int NULL,
    pws        varchar(20) NULL,
    fingerdata varchar(max) NULL
);
CREATE INDEX equfinger_identity ON equfinger (emplid, cardno, backupid);
CREATE INDEX equfinger_cardno ON equfinger (cardno);

CREATE TABLE equcard (
    cardno       varchar(20) NULL,
    emplid       varchar(20) NULL,
    cardtype     varchar(10) NULL,
    cardstatus   varchar(10) NULL,
    personverify varchar(10) NULL,
    operdate     varchar(19) NULL,
    operid       varchar(20) NULL
);

CREATE TABLE AtdRecord (
    EmplID    varchar(20) NULL,
    CardNo    varchar(20) NULL,
    RecDate   varchar(11) NULL,
    RecTime   varchar(5) NULL,
    IsAuto    int NULL,
    EquNo     varchar(10) NULL,
    InOutType int NULL,
    OperId    varchar(20) NULL,
    OperDate  varchar(19) NULL
);
CREATE INDEX atdrecord_duplicate ON AtdRecord (EmplID, RecDate, RecTime);

INSERT INTO systxtset (texttype, textvalue, gb) VALUES
    ('sex', 0, N'男'),
    ('sex', 1, N'女'),
    ('BackupID', 0, N'指纹0'),
    ('BackupID', 1, N'指纹1'),
    ('BackupID', 2, N'指纹2'),
    ('BackupID', 3, N'指纹3'),
    ('BackupID', 4, N'指纹4'),
    ('BackupID', 5, N'指纹5'),
    ('BackupID', 6, N'指纹6'),
    ('BackupID', 7, N'指纹7'),
    ('BackupID', 8, N'指纹8'),
    ('BackupID', 9, N'卡号'),
    ('BackupID', 10, N'密码'),
    ('privilege', 0, N'普通用户'),
    ('privilege', 1, N'登记员'),
    ('privilege', 2, N'管理员'),
    ('privilege', 3, N'超级管理员');
