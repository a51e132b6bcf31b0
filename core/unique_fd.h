#pragma once

#include <unistd.h>

namespace orvelo {

// Owns one open file descriptor: it is closed exactly once, by reset() or when the owner goes
// away, also when an exception leaves the scope. The result of close() is not reported; callers
// that care whether their data arrived fsync before letting go.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool isOpen() const noexcept { return m_fd >= 0; }

    // Gives up ownership without closing.
    int release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // Closes the owned descriptor (if any) and takes `fd` instead.
    void reset(int fd = -1) noexcept {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

}  // namespace orvelo
