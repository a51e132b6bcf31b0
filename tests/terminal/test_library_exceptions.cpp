// No exception leaves the library: an operation that fails inside (here: out of memory) returns a
// result code to its C caller instead of unwinding into it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "fkattend.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The address space this process holds now, in bytes.
long long addressSpaceInUse() {
    long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return pages * ::sysconf(_SC_PAGESIZE);
}

// Child exit codes: what the call did.
constexpr int kReturnedInternalError = 0;
constexpr int kReturnedSomethingElse = 1;
constexpr int kThrew = 2;
constexpr int kNoLimit = 3;

TEST(LibraryExceptions, OutOfMemoryBecomesAResultCode) {
    if (kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address space limit";
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A USB-disk file of 128 MB (sparse: nothing is written), within the size the library reads:
    // the buffer for it cannot be had under the limit set below.
    const std::string path = folder.filePath(QStringLiteral("large.txt")).toStdString();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 128LL * 1024 * 1024), 0);
    ::close(fd);

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlim_t limit = static_cast<rlim_t>(addressSpaceInUse() + 64LL * 1024 * 1024);
        const struct rlimit rl { limit, limit };
        if (::setrlimit(RLIMIT_AS, &rl) != 0) ::_exit(kNoLimit);
        int code;
        try {
            code = FK_USBLoadGeneralLogDataFromFile(0, path.c_str()) == FK_INTERNAL_ERROR
                       ? kReturnedInternalError
                       : kReturnedSomethingElse;
        } catch (...) {
            code = kThrew;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    ASSERT_NE(WEXITSTATUS(status), kNoLimit) << "setrlimit failed";
    EXPECT_NE(WEXITSTATUS(status), kThrew) << "an exception left the library";
    EXPECT_EQ(WEXITSTATUS(status), kReturnedInternalError);

    // Without the limit the same file is simply no log file.
    EXPECT_EQ(FK_USBLoadGeneralLogDataFromFile(0, path.c_str()), FK_NO);
}

}  // namespace
