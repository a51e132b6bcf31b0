#pragma once

#include <sys/stat.h>

namespace orvelo::test {

// Sets the umask of this process for the life of the object and restores the one before.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_old); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t m_old;
};

}  // namespace orvelo::test
