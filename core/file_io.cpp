#include "core/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace orvelo {

namespace {

// Six random letters and digits rarely meet a name taken; a hundred misses in a row mean that
// something other than chance is wrong.
constexpr int kTemporaryNameAttempts = 100;

QByteArray randomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(6, '\0');
    for (char& c : suffix) c = kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
    return suffix;
}

QString systemErrorText(const QString& what, const QString& path) {
    return what + QStringLiteral(" ") + path + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

UniqueFd openRetrying(const QByteArray& path, int flags) {
    int fd;
    do {
        fd = ::open(path.constData(), flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    return UniqueFd(fd);
}

UniqueFd createNewFile(const QString& path, int extraFlags) {
    return openRetrying(QFile::encodeName(path), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | extraFlags);
}

bool createFileForGroup(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    UniqueFd fd = openRetrying(name, O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY);
    if (fd.isOpen()) return true;
    // A file that exists but cannot be opened (no permission, a folder): its owner decides.
    const int error = errno;
    if (::access(name.constData(), F_OK) == 0) return true;
    errno = error;
    return false;
}

UniqueFd createFileBeside(const QString& path, QString& temporaryPath) {
    const QByteArray stem = QFile::encodeName(path) + '.';
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const QByteArray name = stem + randomSuffix();
        UniqueFd fd = openRetrying(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC);
        if (fd.isOpen() || errno != EEXIST) {
            temporaryPath = QFile::decodeName(name);
            return fd;
        }
    }
    return {};
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

QString replaceFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    // Not mkstemp(3): its 0600 would go with the rename, and the other operators of a shared
    // folder could no longer read the file.
    QString temporaryPath;
    UniqueFd fd = createFileBeside(path, temporaryPath);
    if (!fd.isOpen()) return systemErrorText(QStringLiteral("cannot create a file beside"), path);
    const QByteArray temporary = QFile::encodeName(temporaryPath);
    const bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    if (!written || ::close(fd.release()) != 0) {
        const QString problem = systemErrorText(QStringLiteral("cannot write"), temporaryPath);
        ::unlink(temporary.constData());
        return problem;
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const QString problem = systemErrorText(QStringLiteral("cannot replace"), path);
        ::unlink(temporary.constData());
        return problem;
    }
    // The rename itself lives in the folder; without this a power failure may bring back the old
    // file. Failing here loses nothing that is not already on its way to the disk.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (UniqueFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.isOpen())
        ::fsync(dir.get());
    return {};
}

}  // namespace orvelo
