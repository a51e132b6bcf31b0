#include "app/live_page.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/log_memo.h"
#include "core/datetime.h"
#include "core/errors.h"
#include "db/data_module.h"
#include "live/watch_session.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

QTableWidget* table(QWidget* parent, const QString& name, const QStringList& titles) {
    auto* made = new QTableWidget(0, int(titles.size()), parent);
    made->setObjectName(name);
    made->setHorizontalHeaderLabels(titles);
    made->setEditTriggers(QAbstractItemView::NoEditTriggers);
    made->setSelectionBehavior(QAbstractItemView::SelectRows);
    made->verticalHeader()->hide();
    made->verticalHeader()->setDefaultSectionSize(20);
    made->horizontalHeader()->setStretchLastSection(true);
    return made;
}

// The operator's words for a link state of the watch's lines.
QString linkStateText(const QString& word) {
    static const QHash<QString, QString> words = {
        {u"connected"_s, u"已连接"_s},
        {u"listening"_s, u"已连接"_s},
        {u"polling"_s, u"已连接（定时读取）"_s},
        {u"lost"_s, u"连接中断"_s},
        {u"reconnect"_s, u"重连中…"_s},
        {u"not reachable"_s, u"无法连接，重连中…"_s},
        {u"stopped"_s, u"已停止"_s},
        {u"already watched"_s, u"已在其他程序中监控"_s},
        {u"collection failed"_s, u"采集失败，重连中…"_s},
    };
    return words.value(word, word);
}

QString punchResultText(StoreResult result) {
    switch (result) {
        case StoreResult::Stored:
            return u"已保存"_s;
        case StoreResult::UnknownPerson:
            return u"人员不存在"_s;
        case StoreResult::Duplicate:
            return u"重复"_s;
        case StoreResult::Refused:
        case StoreResult::Unusable:
            return u"数据库拒绝"_s;
    }
    return {};
}

void setItem(QTableWidget* table, int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    table->setItem(row, column, item);
}

}  // namespace

LivePage::LivePage(DataModule& windowData, QString appDir, TerminalLibrary& library, const Clock& clock,
                   QWidget* parent)
    : QWidget(parent),
      m_windowData(windowData),
      m_appDir(std::move(appDir)),
      m_library(library),
      m_clock(clock) {
    setObjectName(u"ts_Live"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    auto* buttons = new QHBoxLayout;
    const auto button = [this, buttons](const QString& name, const QString& caption) {
        auto* made = new QPushButton(caption, this);
        made->setObjectName(name);
        made->setFixedHeight(25);
        buttons->addWidget(made);
        return made;
    };
    btn_WatchAll = button(u"btn_WatchAll"_s, u"监控全部终端"_s);
    btn_WatchChosen = button(u"btn_WatchChosen"_s, u"监控所选终端"_s);
    btn_StopWatch = button(u"btn_StopWatch"_s, u"停止监控"_s);
    lbl_WatchState = new QLabel(u"未在监控"_s, this);
    lbl_WatchState->setObjectName(u"lbl_WatchState"_s);
    buttons->addSpacing(12);
    buttons->addWidget(lbl_WatchState, 1);
    layout->addLayout(buttons);

    auto* middle = new QHBoxLayout;
    tbl_WatchTerminals = table(this, u"tbl_WatchTerminals"_s, {u"终端"_s, u"状态"_s});
    tbl_WatchTerminals->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tbl_WatchTerminals->setFixedWidth(230);
    middle->addWidget(tbl_WatchTerminals);
    tbl_Punches = table(this, u"tbl_Punches"_s, {u"时间"_s, u"终端"_s, u"登记号码"_s, u"姓名"_s, u"结果"_s});
    tbl_Punches->setSelectionMode(QAbstractItemView::SingleSelection);
    middle->addWidget(tbl_Punches, 1);
    layout->addLayout(middle, 1);

    mmo_Watch = new LogMemo(this);
    mmo_Watch->setObjectName(u"mmo_Watch"_s);
    mmo_Watch->setFixedHeight(70);
    layout->addWidget(mmo_Watch);

    connect(btn_StopWatch, &QPushButton::clicked, this, &LivePage::stopWatching);
    // The journal becomes a raw record file every hour, as under orveloctl watch.
    m_rollOver = new QTimer(this);
    m_rollOver->setInterval(60 * 1000);
    connect(m_rollOver, &QTimer::timeout, this, [this] {
        if (!m_session || m_stopping) return;
        try {
            m_session->rollOverIfDue();
        } catch (const Error& error) {
            // The journal stays a .part with every line; the next minute tries again.
            mmo_Watch->appendLine(error.text());
        }
    });
    showButtons();
}

LivePage::~LivePage() {
    if (m_session && !m_stopping) stopWatching();
    if (m_stopper.joinable()) m_stopper.join();
}

void LivePage::showTerminals(const QList<TerminalEntry>& terminals) {
    if (isWatching()) return;  // the table shows the watched terminals' states meanwhile
    m_terminals = terminals;
    tbl_WatchTerminals->setRowCount(int(terminals.size()));
    for (int row = 0; row < terminals.size(); ++row) {
        setItem(tbl_WatchTerminals, row, 0, terminals[row].name);
        setItem(tbl_WatchTerminals, row, 1, QString());
    }
    showButtons();
}

QList<int> LivePage::chosenRows() const {
    QList<int> rows;
    for (const QModelIndex& index : tbl_WatchTerminals->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void LivePage::startWatching(const QList<TerminalEntry>& terminals) {
    if (m_session || m_stopping || terminals.isEmpty()) return;
    const std::optional<DatabaseTarget> target = m_windowData.target();
    if (!target) return;

    // The names of the punches' people, read once: a punch then costs the window no query.
    m_names.clear();
    QSqlQuery names(m_windowData.connection());
    if (names.exec(u"select Cardid, emplname from hremployee"_s)) {
        while (names.next())
            m_names.insert(names.value(0).toString().trimmed().toInt(), names.value(1).toString());
    }

    QList<live::WatchTerminal> watched;
    for (const TerminalEntry& entry : terminals) watched << live::WatchTerminal{entry.name, entry.panel};
    for (int row = 0; row < m_terminals.size(); ++row) {
        const bool chosen = std::any_of(terminals.cbegin(), terminals.cend(), [&](const TerminalEntry& e) {
            return e.name == m_terminals[row].name;
        });
        setItem(tbl_WatchTerminals, row, 1, chosen ? u"连接中"_s : QString());
    }

    // The watch's threads report here through queued calls: the page is touched on its own thread only.
    live::WatchSetup setup{
        .library = m_library,
        .clock = m_clock,
        .appDir = m_appDir,
        .openDatabase =
            [target = *target] {
                auto connection = std::make_unique<DataModule>();
                connection->openConnection(target);
                return connection;
            },
        .print =
            [this](const QString& line) {
                QMetaObject::invokeMethod(
                    this, [this, line] { mmo_Watch->appendLine(line); }, Qt::QueuedConnection);
            },
        .observer =
            [this](const live::HandledPunch& punch) {
                QMetaObject::invokeMethod(
                    this,
                    [this, terminal = punch.terminal, enroll = punch.enrollNumber, at = punch.dateTime,
                     result = punchResultText(punch.result)] { addPunch(terminal, enroll, at, result); },
                    Qt::QueuedConnection);
            },
        .program = u"window watch"_s,
        .linkObserver =
            [this](const QString& terminal, const QString& word) {
                QMetaObject::invokeMethod(
                    this, [this, terminal, word] { showLinkState(terminal, word); }, Qt::QueuedConnection);
            },
    };
    m_session = std::make_unique<live::WatchSession>(std::move(setup), watched);
    try {
        m_session->start();
    } catch (const Error& error) {
        m_session.reset();
        mmo_Watch->appendLine(error.text());
        showButtons();
        return;
    }
    m_rollOver->start();
    lbl_WatchState->setText(u"正在监控%1台终端"_s.arg(watched.size()));
    showButtons();
    emit watchingChanged(true);
}

void LivePage::stopWatching() {
    if (!m_session || m_stopping) return;
    m_stopping = true;
    m_rollOver->stop();
    lbl_WatchState->setText(u"正在停止监控…"_s);
    showButtons();
    if (m_stopper.joinable()) m_stopper.join();
    // Stopping waits for every terminal's thread, a running collection included: not on the window's
    // thread.
    m_stopper = std::thread([this, session = m_session.get()] {
        QStringList files;
        QString problem;
        try {
            files = session->stop();
        } catch (const Error& error) {
            problem = error.text();
        }
        QMetaObject::invokeMethod(
            this,
            [this, files, problem] {
                for (const QString& file : files) mmo_Watch->appendLine(u"原始记录文件  "_s + file);
                if (!problem.isEmpty()) mmo_Watch->appendLine(problem);
                stopped();
            },
            Qt::QueuedConnection);
    });
}

void LivePage::stopped() {
    if (m_stopper.joinable()) m_stopper.join();
    m_session.reset();
    m_stopping = false;
    lbl_WatchState->setText(u"已停止监控"_s);
    for (int row = 0; row < tbl_WatchTerminals->rowCount(); ++row) {
        QTableWidgetItem* state = tbl_WatchTerminals->item(row, 1);
        if (state && !state->text().isEmpty()) state->setText(u"已停止"_s);
    }
    showButtons();
    emit watchingChanged(false);
}

void LivePage::waitUntilStopped() {
    while (m_stopping) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void LivePage::addPunch(const QString& terminal, int enrollNumber, double dateTime, const QString& result) {
    tbl_Punches->insertRow(0);
    setItem(tbl_Punches, 0, 0, dateTimeText(dateTime));
    setItem(tbl_Punches, 0, 1, terminal);
    setItem(tbl_Punches, 0, 2, QString::number(enrollNumber).rightJustified(5, u'0'));
    setItem(tbl_Punches, 0, 3, m_names.value(enrollNumber));
    setItem(tbl_Punches, 0, 4, result);
    if (tbl_Punches->rowCount() > kKeptPunches) tbl_Punches->setRowCount(kKeptPunches);
    // Fitted to the first punch: the time and the name then show whole.
    if (tbl_Punches->rowCount() == 1) tbl_Punches->resizeColumnsToContents();
}

void LivePage::showLinkState(const QString& terminal, const QString& word) {
    for (int row = 0; row < tbl_WatchTerminals->rowCount(); ++row) {
        const QTableWidgetItem* name = tbl_WatchTerminals->item(row, 0);
        if (name && name->text() == terminal) setItem(tbl_WatchTerminals, row, 1, linkStateText(word));
    }
}

void LivePage::showButtons() {
    const bool idle = !m_session && !m_stopping;
    btn_WatchAll->setEnabled(idle && !m_terminals.isEmpty());
    btn_WatchChosen->setEnabled(idle && !m_terminals.isEmpty());
    btn_StopWatch->setEnabled(m_session && !m_stopping);
}

}  // namespace orvelo
