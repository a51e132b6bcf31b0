// The owning file descriptor: each descriptor it is given is closed once, and only by its owner.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/unique_fd.h"

namespace orvelo {
namespace {

bool isOpenDescriptor(int fd) {
    errno = 0;
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// Both ends of a fresh pipe; the test owns them until it hands one to a UniqueFd.
struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        read = fds[0];
        write = fds[1];
    }
    ~Pipe() {
        if (isOpenDescriptor(read)) ::close(read);
        if (isOpenDescriptor(write)) ::close(write);
    }
};

TEST(UniqueFd, ClosesItsDescriptorWhenItGoesAway) {
    Pipe pipe;
    {
        UniqueFd owner(pipe.write);
        EXPECT_TRUE(owner.isOpen());
        EXPECT_EQ(owner.get(), pipe.write);
        EXPECT_TRUE(isOpenDescriptor(pipe.write));
    }
    EXPECT_FALSE(isOpenDescriptor(pipe.write));
    EXPECT_TRUE(isOpenDescriptor(pipe.read));
}

TEST(UniqueFd, MovingHandsOverOwnershipWithoutClosing) {
    Pipe pipe;
    UniqueFd target;
    EXPECT_FALSE(target.isOpen());
    {
        UniqueFd source(pipe.write);
        target = std::move(source);
        EXPECT_FALSE(source.isOpen());
    }
    // The moved-from owner went away and left the descriptor to the new owner.
    EXPECT_TRUE(isOpenDescriptor(pipe.write));
    EXPECT_EQ(target.get(), pipe.write);

    UniqueFd constructed(std::move(target));
    EXPECT_FALSE(target.isOpen());
    EXPECT_EQ(constructed.get(), pipe.write);
    EXPECT_TRUE(isOpenDescriptor(pipe.write));
}

TEST(UniqueFd, MoveAssignmentClosesTheDescriptorItHeldBefore) {
    Pipe pipe;
    UniqueFd first(pipe.read);
    UniqueFd second(pipe.write);
    first = std::move(second);
    EXPECT_FALSE(isOpenDescriptor(pipe.read));
    EXPECT_TRUE(isOpenDescriptor(pipe.write));
    EXPECT_EQ(first.get(), pipe.write);
}

TEST(UniqueFd, ResetClosesAndReleaseDoesNot) {
    Pipe pipe;
    UniqueFd owner(pipe.read);
    owner.reset(pipe.write);
    EXPECT_FALSE(isOpenDescriptor(pipe.read));
    EXPECT_TRUE(isOpenDescriptor(pipe.write));

    EXPECT_EQ(owner.release(), pipe.write);
    EXPECT_FALSE(owner.isOpen());
    owner.reset();
    EXPECT_TRUE(isOpenDescriptor(pipe.write));
}

}  // namespace
}  // namespace orvelo
