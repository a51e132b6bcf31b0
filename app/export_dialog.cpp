#include "app/export_dialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

QDateEdit* dateEdit(QWidget* parent, const QString& name, QDate date) {
    auto* edit = new QDateEdit(date, parent);
    edit->setObjectName(name);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(u"yyyy-MM-dd"_s);
    return edit;
}

}  // namespace

ExportDialog::ExportDialog(const QList<QPair<QString, QString>>& departments, QDate today, QWidget* parent)
    : QDialog(parent) {
    setObjectName(u"dlg_Export"_s);
    setWindowTitle(u"导出考勤记录"_s);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;

    // The month so far, as payroll usually asks for it.
    dte_From = dateEdit(this, u"dte_From"_s, QDate(today.year(), today.month(), 1));
    dte_To = dateEdit(this, u"dte_To"_s, today);
    auto* period = new QHBoxLayout;
    period->addWidget(dte_From);
    period->addWidget(new QLabel(u"至"_s, this));
    period->addWidget(dte_To);
    form->addRow(u"日期："_s, period);

    cbb_Department = new QComboBox(this);
    cbb_Department->setObjectName(u"cbb_Department"_s);
    cbb_Department->addItem(u"全部机构"_s, QString());
    for (const auto& [key, name] : departments) cbb_Department->addItem(name, key);
    form->addRow(u"机构："_s, cbb_Department);

    rb_Punches = new QRadioButton(u"打卡记录（每次打卡一行）"_s, this);
    rb_Punches->setObjectName(u"rb_Punches"_s);
    rb_Daily = new QRadioButton(u"每日汇总（每人每天一行）"_s, this);
    rb_Daily->setObjectName(u"rb_Daily"_s);
    rb_Punches->setChecked(true);
    auto* kind = new QVBoxLayout;
    kind->addWidget(rb_Punches);
    kind->addWidget(rb_Daily);
    form->addRow(u"内容："_s, kind);

    cbb_FileType = new QComboBox(this);
    cbb_FileType->setObjectName(u"cbb_FileType"_s);
    cbb_FileType->addItem(u"Excel 工作簿 (*.xlsx)"_s);
    cbb_FileType->addItem(u"CSV 文件 (*.csv)"_s);
    form->addRow(u"保存类型："_s, cbb_FileType);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"导出…"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"取消"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &ExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    layout->addWidget(buttons);
}

QDate ExportDialog::from() const {
    return dte_From->date();
}

QDate ExportDialog::to() const {
    return dte_To->date();
}

QString ExportDialog::department() const {
    return cbb_Department->currentData().toString();
}

bool ExportDialog::daily() const {
    return rb_Daily->isChecked();
}

bool ExportDialog::workbook() const {
    return cbb_FileType->currentIndex() == 0;
}

void ExportDialog::accept() {
    if (from() > to()) {
        QMessageBox::warning(this, windowTitle(), u"开始日期不能晚于结束日期。"_s);
        return;
    }
    QDialog::accept();
}

}  // namespace orvelo
