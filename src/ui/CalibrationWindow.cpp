#include "ui/CalibrationWindow.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/TrendWindowParts.h"

using movra::Quantity;
using movra::calibrate::CalibrationRun;
using Phase = movra::calibrate::CalibrationRun::Phase;

using movra::trendui::unitOf;

CalibrationWindow::CalibrationWindow(movra::Session &session,
                                     const movra::trend::TrendHistory *history,
                                     std::array<double, 2> bands, QWidget *parent)
    : QWidget(parent), m_session(session), m_history(history), m_bands(bands)
{
    setWindowTitle(tr("校准"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildUnitBox());
    layout->addWidget(buildTargetBox());
    layout->addWidget(buildResults());
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    m_start = new QPushButton(tr("开始校准"), this);
    m_stop = new QPushButton(tr("停止"), this);
    m_stop->setEnabled(false);
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    layout->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, &CalibrationWindow::start);
    connect(m_stop, &QPushButton::clicked, this, &CalibrationWindow::stop);
    connect(&m_session, &movra::Session::linkStatus, this, [this] { refreshStart(); });
    refreshStart();
    showIdleStability();
}

CalibrationWindow::~CalibrationWindow() = default;

QWidget *CalibrationWindow::buildUnitBox()
{
    auto *box = new QGroupBox(tr("被测单元与参考仪器"), this);
    auto *form = new QFormLayout(box);
    m_serial = new QLineEdit(box);
    m_operator = new QLineEdit(box);
    m_reference = new QLineEdit(box);
    m_due = new QDateEdit(QDate::currentDate().addYears(1), box);
    m_due->setCalendarPopup(true);
    m_due->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_allowExpired = new QCheckBox(tr("允许使用过期的参考仪器"), box);
    form->addRow(tr("序列号"), m_serial);
    form->addRow(tr("操作员"), m_operator);
    form->addRow(tr("参考仪器"), m_reference);
    form->addRow(tr("有效期"), m_due);
    form->addRow(QString(), m_allowExpired);
    return box;
}

QWidget *CalibrationWindow::buildTargetBox()
{
    auto *box = new QGroupBox(tr("参考值"), this);
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(tr("参考值"), box), 0, 1);
    grid->addWidget(new QLabel(tr("允许偏差"), box), 0, 2);
    grid->addWidget(new QLabel(tr("稳定状态"), box), 0, 3);
    for (const Quantity q : movra::calibrate::kBoth) {
        const bool temp = q == Quantity::Temperature;
        Row &r = m_rows[size_t(q)];
        r.on = new QCheckBox(temp ? tr("温度") : tr("湿度"), box);
        r.on->setChecked(true);
        r.reference = new QDoubleSpinBox(box);
        r.reference->setDecimals(1);
        r.reference->setRange(temp ? -55.0 : 0.0, 100.0);
        r.reference->setValue(temp ? 25.0 : 50.0);
        r.reference->setSuffix(QLatin1Char(' ') + unitOf(q));
        r.tolerance = new QDoubleSpinBox(box);
        r.tolerance->setDecimals(1);
        r.tolerance->setRange(0.0, 100.0);
        r.tolerance->setValue(temp ? 0.2 : 1.0);
        r.tolerance->setSuffix(QLatin1Char(' ') + unitOf(q));
        r.stability = new QLabel(box);
        const int row = temp ? 1 : 2;
        grid->addWidget(r.on, row, 0);
        grid->addWidget(r.reference, row, 1);
        grid->addWidget(r.tolerance, row, 2);
        grid->addWidget(r.stability, row, 3);
    }
    auto *steps = new QHBoxLayout;
    m_samples = new QSpinBox(box);
    m_samples->setRange(1, 1000);
    m_samples->setValue(5);
    m_settle = new QSpinBox(box);
    m_settle->setRange(0, 86400);
    m_settle->setValue(60);
    m_settle->setSuffix(QStringLiteral(" s"));
    m_maxWait = new QSpinBox(box);
    m_maxWait->setRange(1, 86400);
    m_maxWait->setValue(600);
    m_maxWait->setSuffix(QStringLiteral(" s"));
    steps->addWidget(new QLabel(tr("采样次数"), box));
    steps->addWidget(m_samples);
    steps->addWidget(new QLabel(tr("稳定时间"), box));
    steps->addWidget(m_settle);
    steps->addWidget(new QLabel(tr("最长等待"), box));
    steps->addWidget(m_maxWait);
    steps->addStretch();
    grid->addLayout(steps, 3, 0, 1, 4);
    return box;
}

QWidget *CalibrationWindow::buildResults()
{
    m_results = new QTableWidget(2, Columns, this);
    m_results->setHorizontalHeaderLabels(
        {tr("校准前读数"), tr("修正"), tr("写入"), tr("校准后读数"), tr("结论")});
    m_results->setVerticalHeaderLabels({tr("温度"), tr("湿度")});
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_results->horizontalHeader()->setStretchLastSection(true);
    // Two rows, nothing to scroll.
    const int height = m_results->horizontalHeader()->sizeHint().height() +
                       2 * m_results->verticalHeader()->defaultSectionSize() +
                       2 * m_results->frameWidth();
    m_results->setFixedHeight(height);
    m_results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < Columns; ++c)
            m_results->setItem(r, c, new QTableWidgetItem);
    }
    return m_results;
}

bool CalibrationWindow::isRunning() const
{
    return m_run && m_run->phase() != Phase::Done;
}

movra::records::Trace CalibrationWindow::trace() const
{
    return {m_serial->text().trimmed(), m_operator->text().trimmed(), m_reference->text().trimmed(),
            m_due->date(), m_due->date() < QDate::currentDate() && m_allowExpired->isChecked()};
}

QString CalibrationWindow::statusText() const
{
    return m_status->text();
}

movra::calibrate::Plan CalibrationWindow::plan() const
{
    movra::calibrate::Plan p;
    for (const Quantity q : movra::calibrate::kBoth) {
        const Row &r = m_rows[size_t(q)];
        p.targets[size_t(q)] = {r.on->isChecked(), qint32(qRound(r.reference->value() * 10)),
                                qint32(qRound(r.tolerance->value() * 10))};
    }
    p.samples = m_samples->value();
    p.settleSeconds = m_settle->value() > 0 ? qMax(2, m_settle->value()) : 0;
    p.maxWaitSeconds = m_maxWait->value();
    p.bands = m_bands;
    // As the batch read waits: ten periods.
    p.timeoutTicks = [](qint32) {
        return movra::timing::kBatchTimeoutPeriods * movra::timing::kPeriodTicks + 10;
    };
    return p;
}

void CalibrationWindow::refreshStart()
{
    const bool connected = m_session.linkState() == movra::LinkState::Connected;
    m_start->setEnabled(connected && !isRunning());
    m_stop->setEnabled(isRunning());
}
