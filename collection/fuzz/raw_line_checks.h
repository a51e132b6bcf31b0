#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace orvelo {

// What the raw record fuzz target runs on each input, and the regression test on each kept input.
// Each aborts on a broken invariant; any memory fault is the sanitizers' to report.

// Reads the input as the bytes of a raw record file, the way the raw file import does, and checks
// every line it yields with checkRawLine.
void checkRawRecordFileInput(const std::uint8_t* data, std::size_t size);

// A line either fails with a ConversionError or gives a record without seconds; a record whose
// machine number the layout holds formats to a line of the file's characters that reads back to
// the same record.
void checkRawLine(const QString& line);

}  // namespace orvelo
