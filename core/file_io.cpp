#include "core/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>

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

}  // namespace orvelo
