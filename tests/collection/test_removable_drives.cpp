// The starting folder of the USB-disk import, from a mount table and a sysfs tree made here.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "collection/removable_drives.h"

namespace orvelo {
namespace {

using namespace Qt::StringLiterals;

class RemovableDrives : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString sysBlock() const { return dir.path() + u"/sys/class/block"_s; }

    void write(const QString& path, const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A disk under `devicePath` (below sys/devices) with the given `removable` flag, and its
    // partitions, linked from sys/class/block as the kernel does.
    void addDisk(const QString& devicePath, const QString& disk, const QByteArray& removable,
                 const QStringList& partitions) {
        const QString diskDir = dir.path() + u"/sys/devices/"_s + devicePath + u"/block/"_s + disk;
        write(diskDir + u"/removable"_s, removable + '\n');
        ASSERT_TRUE(QDir().mkpath(sysBlock()));
        ASSERT_TRUE(QFile::link(diskDir, sysBlock() + u'/' + disk));
        for (const QString& p : partitions) {
            write(diskDir + u'/' + p + u"/partition"_s, "1\n");
            ASSERT_TRUE(QFile::link(diskDir + u'/' + p, sysBlock() + u'/' + p));
        }
    }

    QString mounts(const QByteArray& table) {
        const QString path = dir.path() + u"/mounts"_s;
        write(path, table);
        return path;
    }
};

TEST_F(RemovableDrives, LastRemovableMountWins) {
    addDisk(u"pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0"_s, u"sda"_s, "0",
            {u"sda1"_s, u"sda2"_s});
    // A USB stick that says it is not removable: its path runs through the USB bus.
    addDisk(u"pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0"_s, u"sdb"_s, "0",
            {u"sdb1"_s});
    // A card reader that says it is removable.
    addDisk(u"platform/mmc0/mmc0:0001"_s, u"mmcblk0"_s, "1", {u"mmcblk0p1"_s});
    const QString table = mounts(
        "/dev/sda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "/dev/sdb1 /media/op/STICK vfat rw 0 0\n"
        "/dev/mmcblk0p1 /media/op/SD\\040CARD vfat rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n");
    EXPECT_EQ(lastRemovableDriveFolder(table, sysBlock()), u"/media/op/SD CARD"_s);

    const QString onlyStick = mounts("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/op/STICK vfat rw 0 0\n");
    EXPECT_EQ(lastRemovableDriveFolder(onlyStick, sysBlock()), u"/media/op/STICK"_s);
}

TEST_F(RemovableDrives, NoneMountedGivesEmpty) {
    addDisk(u"pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0"_s, u"sda"_s, "0", {u"sda1"_s});
    EXPECT_EQ(
        lastRemovableDriveFolder(mounts("/dev/sda1 / ext4 rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n"), sysBlock()),
        QString());
    EXPECT_EQ(lastRemovableDriveFolder(dir.path() + u"/no-such-table"_s, sysBlock()), QString());
    // A device the sysfs tree does not know is not taken for removable.
    EXPECT_EQ(lastRemovableDriveFolder(mounts("/dev/sdz1 /media/x vfat rw 0 0\n"), sysBlock()), QString());
}

TEST_F(RemovableDrives, WholeDiskWithoutPartitions) {
    addDisk(u"pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host7/target7:0:0/7:0:0:0"_s, u"sdc"_s, "0", {});
    EXPECT_EQ(lastRemovableDriveFolder(mounts("/dev/sdc /mnt/usb vfat rw 0 0\n"), sysBlock()), u"/mnt/usb"_s);
}

TEST(MountField, OctalEscapes) {
    EXPECT_EQ(unescapeMountField(u"/media/a\\040b\\011c\\134d"_s), u"/media/a b\tc\\d"_s);
    EXPECT_EQ(unescapeMountField(u"/media/plain"_s), u"/media/plain"_s);
    EXPECT_EQ(unescapeMountField(u"/end\\04"_s), u"/end\\04"_s);
    EXPECT_EQ(unescapeMountField(u"/x\\089"_s), u"/x\\089"_s);
}

}  // namespace
}  // namespace orvelo
