#pragma once

#include <QDialog>

#include "directory/grid_find.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

namespace orvelo {

// The find dialog of a grid (Ctrl+F on the departed list and the details): looks for a text in
// the current column or in all shown columns and moves the grid's current cell to the next
// match. It stays open beside the grid, so "查找下一个" can be pressed again and again.
class FindDialog : public QDialog {
    Q_OBJECT

public:
    explicit FindDialog(QTableView& grid);

    // The request the fields describe, for the grid as it is now.
    FindRequest request() const;
    // Moves the grid's current cell to the next match; false (and a note in the dialog) when
    // there is none.
    bool findNext();

    QLineEdit* textField;
    QRadioButton* inCurrentColumn;
    QRadioButton* inAllColumns;
    QComboBox* matchChoice;      // any part, whole field, beginning
    QComboBox* directionChoice;  // all, down, up
    QCheckBox* caseSensitive;
    QPushButton* findButton;
    QLabel* resultNote;

private:
    QTableView& m_grid;
};

}  // namespace orvelo
