#pragma once

#include "core/datetime.h"

namespace orvelo::test {

class FixedClock : public Clock {
public:
    explicit FixedClock(DateTimeValue value = 0) : value(value) {}
    // From "yyyy-mm-dd hh:nn:ss"; aborts the test binary on a malformed text.
    static FixedClock at(const QString& text);
    DateTimeValue now() const override { return value; }
    DateTimeValue value;
};

}  // namespace orvelo::test
