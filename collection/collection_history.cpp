#include "collection/collection_history.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QtDebug>
#include <cerrno>
#include <cstring>

#include "context/command_context.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "core/file_io.h"
#include "core/file_lock.h"
#include "core/ports.h"
#include "core/terminal_address.h"
#include "core/text.h"
#include "core/unique_fd.h"

namespace orvelo {

using namespace Qt::StringLiterals;

namespace {

constexpr int kFormatVersion = 1;

QString systemErrorText(const QString& what, const QString& path) {
    return what + u" "_s + path + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
}

bool readWholeFile(int fd, QByteArray& bytes) {
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
}

std::optional<int> count(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) return std::nullopt;
    const double number = value.toDouble();
    if (number < 0 || number > 2147483647.0 || number != static_cast<double>(static_cast<qint64>(number)))
        return std::nullopt;
    return static_cast<int>(number);
}

}  // namespace

QString terminalKey(const ConnectionPanelState& panel) {
    return parseTerminalAddress(panel).key();
}

QByteArray collectionHistoryJson(const CollectionHistory& history) {
    QJsonObject terminals;
    for (const auto& [key, entry] : history) {
        terminals.insert(key, QJsonObject{
                                  {u"when"_s, entry.when},
                                  {u"by"_s, entry.by},
                                  {u"result"_s, resultWord(entry.result)},
                                  {u"read"_s, entry.read},
                                  {u"stored"_s, entry.stored},
                                  {u"rejected"_s, entry.rejected},
                                  {u"refused"_s, entry.refusedByDatabase},
                              });
    }
    const QJsonObject root{{u"version"_s, kFormatVersion}, {u"terminals"_s, terminals}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<CollectionHistory> parseCollectionHistory(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(u"version"_s).toInt(-1) != kFormatVersion || !root.value(u"terminals"_s).isObject())
        return std::nullopt;
    CollectionHistory history;
    const QJsonObject terminals = root.value(u"terminals"_s).toObject();
    for (auto it = terminals.begin(); it != terminals.end(); ++it) {
        if (!it.value().isObject()) return std::nullopt;
        const QJsonObject object = it.value().toObject();
        const QJsonValue when = object.value(u"when"_s);
        const QJsonValue by = object.value(u"by"_s);
        const auto result = resultFromWord(object.value(u"result"_s).toString());
        const auto read = count(object, u"read"_s);
        const auto stored = count(object, u"stored"_s);
        const auto rejected = count(object, u"rejected"_s);
        const auto refused = count(object, u"refused"_s);
        if (!when.isString() || !by.isString() || !result || !read || !stored || !rejected || !refused)
            return std::nullopt;
        history[it.key()] =
            LastCollection{when.toString(), by.toString(), *result, *read, *stored, *rejected, *refused};
    }
    return history;
}

QString collectionHistoryPath(const QString& appDir) {
    return appDir + u"data/.collections.json"_s;
}

CollectionHistoryRead readCollectionHistory(const QString& appDir) {
    CollectionHistoryRead found;
    QFile file(collectionHistoryPath(appDir));
    if (!file.exists()) return found;
    if (!file.open(QIODevice::ReadOnly)) {
        found.damaged = true;
        return found;
    }
    const std::optional<CollectionHistory> history = parseCollectionHistory(file.readAll());
    if (history)
        found.history = *history;
    else
        found.damaged = true;
    return found;
}

QString recordLastCollection(const QString& appDir, const QString& key, const LastCollection& entry) {
    const QString path = collectionHistoryPath(appDir);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return u"cannot create the folder of "_s + path;
    // Read, change and write back under one lock: two collections that end together (the window
    // and a scheduled run, or two orveloctl) would otherwise each drop the other's entry.
    FileLock lock(path + u".lock"_s);
    try {
        lock.lock();
    } catch (const FileError& error) {
        return error.text();
    }

    CollectionHistory history;
    const QByteArray target = QFile::encodeName(path);
    if (UniqueFd fd(::open(target.constData(), O_RDONLY | O_CLOEXEC)); fd.isOpen()) {
        QByteArray bytes;
        std::optional<CollectionHistory> old;
        if (readWholeFile(fd.get(), bytes)) old = parseCollectionHistory(bytes);
        if (old) {
            history = std::move(*old);
        } else {
            // Kept for whoever wants to see what went wrong; the history starts again from here.
            const QByteArray aside = QFile::encodeName(path + u".bad"_s);
            if (::rename(target.constData(), aside.constData()) != 0)
                return systemErrorText(u"cannot move aside the damaged"_s, path);
        }
    } else if (errno != ENOENT) {
        return systemErrorText(u"cannot read"_s, path);
    }
    history[key] = entry;
    return replaceFileAtomically(path, collectionHistoryJson(history));
}

void noteCollection(const CommandContext& ctx, const CommandOutcome& outcome) {
    const LastCollection entry{dateTimeText(ctx.clock.now()),
                               ctx.program,
                               outcome.result,
                               outcome.read,
                               outcome.stored,
                               outcome.rejected,
                               outcome.refusedByDatabase};
    // The records are in the database and the raw record file by now; a history that cannot be
    // written is not worth failing the collection for.
    if (const QString problem = recordLastCollection(ctx.appDir, terminalKey(ctx.panel), entry);
        !problem.isEmpty())
        qWarning().noquote() << "the last collection could not be noted:" << problem;
}

}  // namespace orvelo
