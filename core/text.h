#pragma once

#include <QString>
#include <QtGlobal>

namespace orvelo {

// The conversion of every number typed by the operator: a 32-bit signed integer; leading
// blanks and one sign allowed; "$", "0x" or a lone "x"/"X" make the digits hexadecimal.
// Throws ConversionError("'<text>' is not a valid integer value") otherwise.
qint32 strToInt(const QString& text);

// The text of the conversion error for `text`.
QString invalidIntegerText(const QString& text);

// Removes every character up to and including the blank (U+0020) from both ends, nothing
// else (QString::trimmed strips U+3000 and keeps control characters, which differs).
QString trimBlanks(const QString& text);

// True when `text` holds a control character: C0 (NUL included), DEL or C1. Such a character in a
// configuration value would reach a driver or a terminal cut at a NUL or mangled.
bool hasControlCharacter(QStringView text);

// `text` for an error message that quotes a file's content: every control character written as
// \xHH ("\x00", "\x1b", "\x7f"), so that a junk file cannot cut the message or drive the
// operator's terminal. Everything else stays as it is.
QString escapeControlCharacters(const QString& text);

// printf's "%.<digits>d": at least `digits` digits, zero-padded, never cut; a minus sign
// stands before the digits.
QString zeroPad(qint64 value, int digits);

// printf's "%<width>d": right-aligned in `width` characters, blank-padded, never cut.
QString blankPad(qint64 value, int width);

// The one quoting function for every text value placed in a statement: the value between
// single quotes, each single quote inside it doubled.
QString sqlQuoted(const QString& value);

// The text of the default error box: "." appended when the last character sorts after ".".
QString defaultErrorText(const QString& message);

}  // namespace orvelo
