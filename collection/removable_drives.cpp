#include "collection/removable_drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

QString readTrimmed(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool isRemovableBlockDevice(const QString& source, const QString& sysBlockFolder) {
    if (!source.startsWith(u"/dev/"_s)) return false;
    // by-uuid and by-label names are links to the device node.
    const QString resolved = QFileInfo(source).canonicalFilePath();
    const QString name = QFileInfo(resolved.isEmpty() ? source : resolved).fileName();
    if (name.isEmpty()) return false;

    const QString entry = sysBlockFolder + u'/' + name;
    QString device = QFileInfo(entry).canonicalFilePath();
    if (device.isEmpty()) return false;
    // A partition's `removable` lives with its disk, one folder up.
    const QString disk = QFileInfo::exists(device + u"/partition"_s) ? QFileInfo(device).path() : device;
    if (readTrimmed(disk + u"/removable"_s) == u"1"_s) return true;
    return disk.contains(u"/usb"_s);
}

}  // namespace

QString unescapeMountField(const QString& field) {
    const auto isOctal = [](QChar c) { return c >= u'0' && c <= u'7'; };
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c == u'\\' && i + 3 < field.size() && isOctal(field.at(i + 1)) && isOctal(field.at(i + 2)) &&
            isOctal(field.at(i + 3))) {
            out += QChar(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
            continue;
        }
        out += c;
    }
    return out;
}

QString lastRemovableDriveFolder(const QString& mountsFile, const QString& sysBlockFolder) {
    QFile file(mountsFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString folder;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 2) continue;
        if (isRemovableBlockDevice(unescapeMountField(fields[0]), sysBlockFolder))
            folder = unescapeMountField(fields[1]);
    }
    return folder;
}

}  // namespace orvelo
