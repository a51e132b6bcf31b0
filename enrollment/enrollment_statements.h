#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace orvelo {

// The statement texts of the enrollment commands. Text values are quoted with sqlQuoted, so for
// values without quotes each text is exactly the one the database of the larger system expects.

// Creates the default department 01 unless it exists.
QString defaultDepartmentStatement();
// The employees whose cardid is the enroll number as five or more digits.
QString employeeLookupStatement(std::int32_t enrollNumber);
// Gives every employee with that cardid the terminal's name.
QString employeeNameUpdateStatement(const QString& name, std::int32_t enrollNumber);
// The employee created for a terminal user: entryDate takes the first ten characters (the date)
// of `entryDateTime`; lastOperDateTime is written whole. Both are date-time texts.
QString newEmployeeLine(std::int32_t enrollNumber, const QString& name, const QString& entryDateTime,
                        const QString& lastOperDateTime);
// The card row written with a new employee.
QString newCardLine(std::int32_t enrollNumber, const QString& operDateTime);

// The stored enrollments of one employee under its present registration number.
QString storedEnrollmentsStatement(const QString& employeeId, const QString& registration);

// The stored form of a template: every value as signed decimal text, each followed by CR LF,
// the last one included (12, -3, 0 give "12\r\n-3\r\n0\r\n"). The upload and the details list
// read this text back, so its shape must not change.
QString templateText(std::span<const std::int32_t> values);

// The two statements that replace one enrollment in equfinger; `employeeNumber` is quoted, the
// enroll number written as at least five digits. The insert line ends with the :fpdata parameter.
QString enrollmentDeleteLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber);
QString enrollmentInsertLine(const QString& employeeNumber, std::int32_t enrollNumber,
                             std::int32_t backupNumber, std::int32_t privilege, std::int32_t password);

// Fills `buffer` from the first buffer.size() lines of a stored template text (lines end with
// CR LF, LF or CR; later lines are ignored). Each line is converted as a typed number is; throws
// ConversionError for a line that does not convert or when the text has fewer lines.
void readTemplateText(const QString& text, std::span<std::int32_t> buffer);

}  // namespace orvelo
