#pragma once

#include <QString>

class QAbstractButton;
class QBoxLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace orvelo {

// A page of pgc_Device: a button column 153 pixels wide on the left that keeps its width, and
// a working area that takes the rest when the window is resized.
struct CommandPage {
    QWidget* page;
    QWidget* buttonColumn;
    QVBoxLayout* columnLayout;
    QBoxLayout* workLayout;  // holds the working area's widgets
};

CommandPage makeCommandPage(const QString& pageName);

// The same layout set on an existing page widget.
CommandPage layoutCommandPage(QWidget* page);

// A 121 x 25 button appended to the column.
QPushButton* addColumnButton(const CommandPage& page, const QString& name, const QString& caption);

// A radio button or check box appended to the column.
void addColumnControl(const CommandPage& page, QAbstractButton* control);

// Ends the column: the controls stay at the top.
void finishColumn(const CommandPage& page);

}  // namespace orvelo
