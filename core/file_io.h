#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>

#include "core/unique_fd.h"

namespace orvelo {

// What the programs create in an application folder (the database and its companions, raw record
// files and their journals, the collection history and its lock, the folder lock, the data
// folder) is created with the widest mode and left to the umask: an installation whose folder
// belongs to a group of operators (set-group-ID, umask 0002) gets files that each of them can
// write, one for a single user (umask 0022) gets 0644 as before. Never a fixed mode: a file one
// operator made 0644 stops every other operator's next command.
inline constexpr mode_t kNewFileMode = 0666;
inline constexpr mode_t kNewFolderMode = 0777;

// open(2) of `path` (in the file system's encoding) with `flags`, retried when a signal breaks it
// off; a file that O_CREAT makes gets kNewFileMode less the umask. Closed when the result goes.
// Check isOpen() and errno.
UniqueFd openRetrying(const QByteArray& path, int flags);

// Creates `path` for writing, failing (errno EEXIST) when it exists already, so that a file of
// another writer is never written over.
UniqueFd createNewFile(const QString& path, int extraFlags = 0);

// Creates `path` as an empty file when it is missing, with kNewFileMode less the umask; an
// existing file is left as it is. For a file another program fills, whose own default mode is
// narrower (SQLite's 0644): its companions (-wal, -shm, -journal) take the mode of the main
// file. False when the file is still missing afterwards (errno says why).
bool createFileForGroup(const QString& path);

// A new, empty file beside `path` ("<path>.XXXXXX", the X random), created as createNewFile
// does: for writing a text that then replaces `path` by rename(2). A temporary file made by
// mkstemp(3), QTemporaryFile or QSaveFile is 0600 whatever the umask, and the rename would hand
// that mode on. Sets `temporaryPath` to its path.
UniqueFd createFileBeside(const QString& path, QString& temporaryPath);

// Replaces `path` by a file holding `bytes`: written beside it (createFileBeside), fsync'ed, then
// renamed over it, and the folder fsync'ed, so a reader or a crash sees the old text or the new,
// never a mixture; a missing `path` is created so. Returns an empty text on success, else what
// failed ("cannot write <file>: <reason>"); the temporary file is gone either way.
QString replaceFileAtomically(const QString& path, const QByteArray& bytes);

// Writes all of `bytes`, going on after a short write or a signal. False on an error (errno
// says which); what was written by then stays.
bool writeAll(int fd, const QByteArray& bytes);

}  // namespace orvelo
