#pragma once

#include <cstdlib>

namespace orvelo::test {

// While it lives, the connections the library opens read one request per call (the library's
// diagnostic FK_ONE_BY_ONE): for tests of what a single request does, and to compare with the
// bulk reads.
class OneByOneReads {
public:
    OneByOneReads() { ::setenv("FK_ONE_BY_ONE", "1", 1); }
    ~OneByOneReads() { ::unsetenv("FK_ONE_BY_ONE"); }
    OneByOneReads(const OneByOneReads&) = delete;
    OneByOneReads& operator=(const OneByOneReads&) = delete;
};

}  // namespace orvelo::test
