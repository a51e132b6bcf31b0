-- The six tables this client works in, for the embedded database. Text columns compare as SQL
-- Server's default collation does for these data: trailing blanks do not count (COLLATE RTRIM),
-- so a row written with a trailing blank in RecDate or EmplID is found by a look-up without it.
-- Codes (sex, backupid, privilege, textvalue) are numbers.

CREATE TABLE hrdept (
    deptid   TEXT COLLATE RTRIM NOT NULL PRIMARY KEY,
    deptno   TEXT COLLATE RTRIM,
    deptname TEXT COLLATE RTRIM
);

CREATE TABLE hremployee (
    EmplID       TEXT COLLATE RTRIM NOT NULL PRIMARY KEY,
    workid       TEXT COLLATE RTRIM,
    Cardid       TEXT COLLATE RTRIM,
    deptid       TEXT COLLATE RTRIM,
    emplname     TEXT COLLATE RTRIM,
    sex          INTEGER,
    married      INTEGER,
    identityid   TEXT COLLATE RTRIM,
    password     TEXT COLLATE RTRIM,
    teamid       TEXT COLLATE RTRIM,
    shiftid      TEXT COLLATE RTRIM,
    weekendid    TEXT COLLATE RTRIM,
    entrydate    TEXT COLLATE RTRIM,
    leaveyn      INTEGER,
    leavedate    TEXT COLLATE RTRIM,
    remark       TEXT COLLATE RTRIM,
    lastoperid   TEXT COLLATE RTRIM,
    lastoperdate TEXT COLLATE RTRIM
);
CREATE INDEX hremployee_cardid ON hremployee (Cardid);

CREATE TABLE systxtset (
    texttype  TEXT COLLATE RTRIM NOT NULL,
    textvalue INTEGER NOT NULL,
    gb        TEXT COLLATE RTRIM,
    PRIMARY KEY (texttype, textvalue)
);

CREATE TABLE equfinger (
    emplid     TEXT COLLATE RTRIM,
    cardno     TEXT COLLATE RTRIM,
    backupid   INTEGER,
    privilege  INTEGER,
    pws        TEXT COLLATE RTRIM,
    fingerdata TEXT
);
CREATE INDEX equfinger_identity ON equfinger (emplid, cardno, backupid);
CREATE INDEX equfinger_cardno ON equfinger (cardno);

CREATE TABLE equcard (
    cardno       TEXT COLLATE RTRIM,
    emplid       TEXT COLLATE RTRIM,
    cardtype     TEXT COLLATE RTRIM,
    cardstatus   TEXT COLLATE RTRIM,
    personverify TEXT COLLATE RTRIM,
    operdate     TEXT COLLATE RTRIM,
    operid       TEXT COLLATE RTRIM
);

CREATE TABLE AtdRecord (
    EmplID    TEXT COLLATE RTRIM,
    CardNo    TEXT COLLATE RTRIM,
    RecDate   TEXT COLLATE RTRIM,
    RecTime   TEXT COLLATE RTRIM,
    IsAuto    INTEGER,
    EquNo     TEXT COLLATE RTRIM,
    InOutType INTEGER,
    OperId    TEXT COLLATE RTRIM,
    OperDate  TEXT COLLATE RTRIM
);
CREATE INDEX atdrecord_duplicate ON AtdRecord (EmplID, RecDate, RecTime);

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
