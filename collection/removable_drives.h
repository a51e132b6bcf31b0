#pragma once

#include <QString>

namespace orvelo {

// The folder where the USB-disk import's dialog starts: the mount point of the last removable
// drive in the mount table, or an empty text when none is mounted. A drive counts as removable
// when its disk says so in sysfs (`removable` is 1) or when its sysfs path runs through a USB bus,
// since many USB disks report 0. The paths are parameters so tests can give their own tables.
QString lastRemovableDriveFolder(const QString& mountsFile = QStringLiteral("/proc/mounts"),
                                 const QString& sysBlockFolder = QStringLiteral("/sys/class/block"));

// A mount-table field with its octal escapes (\040 for a blank, \011, \012, \134) undone.
QString unescapeMountField(const QString& field);

}  // namespace orvelo
