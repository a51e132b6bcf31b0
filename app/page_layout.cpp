#include "app/page_layout.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace orvelo {

namespace {

constexpr int kColumnWidth = 153;
constexpr int kButtonWidth = 121;
constexpr int kButtonHeight = 25;
constexpr int kColumnMargin = (kColumnWidth - kButtonWidth) / 2;

}  // namespace

CommandPage makeCommandPage(const QString& pageName) {
    auto* page = new QWidget;
    page->setObjectName(pageName);
    return layoutCommandPage(page);
}

CommandPage layoutCommandPage(QWidget* page) {
    CommandPage result{};
    result.page = page;
    auto* pageLayout = new QHBoxLayout(result.page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);

    result.buttonColumn = new QWidget(result.page);
    result.buttonColumn->setFixedWidth(kColumnWidth);
    result.columnLayout = new QVBoxLayout(result.buttonColumn);
    // The right margin is narrow so that a check box caption wider than a button still fits.
    result.columnLayout->setContentsMargins(kColumnMargin, 12, 2, 8);
    result.columnLayout->setSpacing(10);
    pageLayout->addWidget(result.buttonColumn);

    auto* work = new QVBoxLayout;
    work->setContentsMargins(0, 0, 0, 0);
    work->setSpacing(0);
    pageLayout->addLayout(work, 1);
    result.workLayout = work;
    return result;
}

QPushButton* addColumnButton(const CommandPage& page, const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, page.buttonColumn);
    button->setObjectName(name);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    page.columnLayout->addWidget(button);
    return button;
}

void addColumnControl(const CommandPage& page, QAbstractButton* control) {
    control->setParent(page.buttonColumn);
    page.columnLayout->addWidget(control);
}

void finishColumn(const CommandPage& page) {
    page.columnLayout->addStretch(1);
}

}  // namespace orvelo
