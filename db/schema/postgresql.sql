-- The six tables this client works in, for a PostgreSQL database: the embedded schema's tables,
-- columns and code rows. Its RTRIM texts are bpchar here, whose comparisons, like SQL Server's for
-- these data, do not count trailing blanks: a row written with a trailing blank in RecDate or
-- EmplID is found by a look-up without it, and a unique index sees the two as one value. Names are
-- unquoted, so PostgreSQL keeps them in lower case and every statement's spelling reaches them.
-- Codes (sex, backupid, privilege, textvalue) are numbers.

CREATE TABLE orvelo_schema (
    version integer NOT NULL
);
INSERT INTO orvelo_schema (version) VALUES (1);

CREATE TABLE hrdept (
    deptid   bpchar NOT NULL PRIMARY KEY,
    deptno   bpchar,
    deptname bpchar
);

CREATE TABLE hremployee (
    EmplID       bpchar NOT NULL PRIMARY KEY,
    workid       bpchar,
    Cardid       bpchar,
    deptid       bpchar,
    emplname     bpchar,
    sex          integer,
    married      integer,
    identityid   bpchar,
    password     bpchar,
    teamid       bpchar,
    shiftid      bpchar,
    weekendid    bpchar,
    entrydate    bpchar,
    leaveyn      integer,
    leavedate    bpchar,
    remark       bpchar,
    lastoperid   bpchar,
    lastoperdate bpchar
);
CREATE INDEX hremployee_cardid ON hremployee (Cardid);

CREATE TABLE systxtset (
    texttype  bpchar NOT NULL,
    textvalue integer NOT NULL,
    gb        bpchar,
    PRIMARY KEY (texttype, textvalue)
);

CREATE TABLE equfinger (
    emplid     bpchar,
    cardno     bpchar,
    backupid   integer,
    privilege  integer,
    pws        bpchar,
    fingerdata text
);
CREATE INDEX equfinger_identity ON equfinger (emplid, cardno, backupid);
CREATE INDEX equfinger_cardno ON equfinger (cardno);

CREATE TABLE equcard (
    cardno       bpchar,
    emplid       bpchar,
    cardtype     bpchar,
    cardstatus   bpchar,
    personverify bpchar,
    operdate     bpchar,
    operid       bpchar
);

CREATE TABLE AtdRecord (
    EmplID    bpchar,
    CardNo    bpchar,
    RecDate   bpchar,
    RecTime   bpchar,
    IsAuto    integer,
    EquNo     bpchar,
    InOutType integer,
    OperId    bpchar,
    OperDate  bpchar
);
-- One row per employee, day and minute, whoever writes it: the attendance store inserts with ON
-- CONFLICT DO NOTHING, so PCs storing the same records at the same moment write each row once.
CREATE UNIQUE INDEX atdrecord_identity ON AtdRecord (EmplID, RecDate, RecTime);

-- The code lists the employee lists decode. BackupID: 0 to 8 fingerprints, 9 the card, 10 the
-- password. privilege: every right a terminal gives its users.
INSERT INTO systxtset (texttype, textvalue, gb) VALUES
    ('sex', 0, '男'),
    ('sex', 1, '女'),
    ('BackupID', 0, '指纹0'),
    ('BackupID', 1, '指纹1'),
    ('BackupID', 2, '指纹2'),
    ('BackupID', 3, '指纹3'),
    ('BackupID', 4, '指纹4'),
    ('BackupID', 5, '指纹5'),
    ('BackupID', 6, '指纹6'),
    ('BackupID', 7, '指纹7'),
    ('BackupID', 8, '指纹8'),
    ('BackupID', 9, '卡号'),
    ('BackupID', 10, '密码'),
    ('privilege', 0, '普通用户'),
    ('privilege', 1, '登记员'),
    ('privilege', 2, '管理员'),
    ('privilege', 3, '超级管理员');
