#pragma once

#include <QDate>
#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class QComboBox;
class QDateEdit;
class QRadioButton;

namespace orvelo {

// 导出: the period (both days included), the department (or all), punches or one line per employee
// and day, and the file type; the window asks for the file's name once the operator has chosen.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    // `departments`: each department's key and name, in the order to offer them.
    ExportDialog(const QList<QPair<QString, QString>>& departments, QDate today, QWidget* parent = nullptr);

    QDate from() const;
    QDate to() const;
    // The chosen department's key; empty for 全部机构.
    QString department() const;
    bool daily() const;
    bool workbook() const;  // 保存类型 Excel rather than CSV

    void accept() override;

    QDateEdit* dte_From;
    QDateEdit* dte_To;
    QComboBox* cbb_Department;
    QRadioButton* rb_Punches;
    QRadioButton* rb_Daily;
    QComboBox* cbb_FileType;
};

}  // namespace orvelo
