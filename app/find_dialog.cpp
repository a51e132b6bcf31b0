#include "app/find_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace orvelo {

FindDialog::FindDialog(QTableView& grid) : QDialog(&grid), m_grid(grid) {
    setWindowTitle(u"查找"_s);
    setModal(false);

    textField = new QLineEdit(this);
    inCurrentColumn = new QRadioButton(u"当前列"_s, this);
    inAllColumns = new QRadioButton(u"所有列"_s, this);
    inCurrentColumn->setChecked(true);
    matchChoice = new QComboBox(this);
    matchChoice->addItems({u"字段任意部分"_s, u"整个字段"_s, u"字段开头"_s});
    directionChoice = new QComboBox(this);
    directionChoice->addItems({u"全部"_s, u"向下"_s, u"向上"_s});
    caseSensitive = new QCheckBox(u"区分大小写"_s, this);
    findButton = new QPushButton(u"查找下一个"_s, this);
    findButton->setDefault(true);
    auto* closeButton = new QPushButton(u"关闭"_s, this);
    resultNote = new QLabel(this);

    auto* scope = new QHBoxLayout;
    scope->addWidget(inCurrentColumn);
    scope->addWidget(inAllColumns);
    scope->addStretch();
    auto* form = new QFormLayout;
    form->addRow(u"查找内容："_s, textField);
    form->addRow(u"查找范围："_s, scope);
    form->addRow(u"匹配："_s, matchChoice);
    form->addRow(u"方向："_s, directionChoice);
    form->addRow(QString(), caseSensitive);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resultNote, 1);
    buttons->addWidget(findButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(findButton, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

FindRequest FindDialog::request() const {
    FindRequest request;
    request.text = textField->text();
    request.match = FindRequest::Match(matchChoice->currentIndex());
    const auto direction = static_cast<std::size_t>(std::clamp(directionChoice->currentIndex(), 0, 2));
    request.direction = std::array{FindRequest::Direction::All, FindRequest::Direction::Down,
                                   FindRequest::Direction::Up}[direction];
    request.caseSensitive = caseSensitive->isChecked();
    const QHeaderView* titles = m_grid.horizontalHeader();
    const int current = m_grid.currentIndex().isValid() ? m_grid.currentIndex().column() : -1;
    if (inCurrentColumn->isChecked() && current >= 0) {
        request.columns = {current};
    } else {
        for (int visual = 0; visual < titles->count(); ++visual) {
            const int column = titles->logicalIndex(visual);
            if (!m_grid.isColumnHidden(column)) request.columns.append(column);
        }
    }
    return request;
}

bool FindDialog::findNext() {
    const QAbstractItemModel* model = m_grid.model();
    const QModelIndex found = model ? findNextCell(*model, request(), m_grid.currentIndex()) : QModelIndex();
    if (!found.isValid()) {
        resultNote->setText(u"未找到“"_s + textField->text() + u"”"_s);
        return false;
    }
    resultNote->clear();
    // A grid of selected rows keeps them: only its cursor moves. A grid of cells selects the cell.
    const bool rows = m_grid.selectionMode() == QAbstractItemView::ExtendedSelection;
    m_grid.selectionModel()->setCurrentIndex(
        found, rows ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
    m_grid.scrollTo(found);
    return true;
}

}  // namespace orvelo
