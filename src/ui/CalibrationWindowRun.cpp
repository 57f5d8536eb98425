// The calibration window while a calibration runs: starting it, what it
// shows step by step, and its end.
#include "ui/CalibrationWindow.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "link/Tenths.h"
#include "trend/TrendHistory.h"
#include "ui/TrendWindowParts.h"

using movra::Quantity;
using movra::calibrate::CalibrationRun;
using movra::calibrate::Outcome;
using Phase = movra::calibrate::CalibrationRun::Phase;

using movra::trendui::unitOf;

namespace {

QString meanText(const std::optional<double> &tenths, Quantity q)
{
    return tenths ? QString::number(*tenths / 10.0, 'f', 2) + QLatin1Char(' ') + unitOf(q)
                  : QString();
}

QString stabilityText(const movra::trend::Stability &s, Quantity q)
{
    const QString span = QString::number(s.span, 'f', 1) + QLatin1Char(' ') + unitOf(q);
    switch (s.verdict) {
    case movra::trend::Verdict::Stable:
        return CalibrationWindow::tr("稳定（跨度 %1）").arg(span);
    case movra::trend::Verdict::Unsettled:
        return CalibrationWindow::tr("未稳定（跨度 %1）").arg(span);
    case movra::trend::Verdict::TooFewReadings:
        break;
    }
    return CalibrationWindow::tr("读数不足");
}

QString phaseText(Phase phase)
{
    // By Phase, from Idle to Done.
    static const char *const texts[] = {
        "",
        QT_TRANSLATE_NOOP("CalibrationWindow", "正在读取设备参数"),
        QT_TRANSLATE_NOOP("CalibrationWindow", "等待读数稳定"),
        QT_TRANSLATE_NOOP("CalibrationWindow", "正在采样（校准前）"),
        QT_TRANSLATE_NOOP("CalibrationWindow", "正在写入修正"),
        QT_TRANSLATE_NOOP("CalibrationWindow", "正在读回修正"),
        QT_TRANSLATE_NOOP("CalibrationWindow", "正在验证（校准后）"),
        ""};
    return *texts[int(phase)] ? CalibrationWindow::tr(texts[int(phase)]) : QString();
}

QString outcomeText(Outcome o, const CalibrationRun &run)
{
    switch (o) {
    case Outcome::Passed:
        return CalibrationWindow::tr("校准完成：合格");
    case Outcome::Unstable:
        return CalibrationWindow::tr("读数在 %1 s 内未稳定，未写入修正")
            .arg(run.plan().maxWaitSeconds);
    case Outcome::OutOfRange:
        return CalibrationWindow::tr("不合格：修正超出 -10.0…10.0，未写入");
    case Outcome::ReadBackDiffers:
        return CalibrationWindow::tr("不合格：读回的修正与写入的不同");
    case Outcome::VerifyFailed:
        return CalibrationWindow::tr("不合格：校准后读数超出允许偏差");
    case Outcome::DeviceFault:
        return CalibrationWindow::tr("设备无有效应答（%1）").arg(run.failure());
    case Outcome::PortLost:
        return CalibrationWindow::tr("连接已断开");
    case Outcome::Cancelled:
        return CalibrationWindow::tr("校准已停止");
    case Outcome::DryRun:
    case Outcome::Running:
        break;
    }
    return QString();
}
} // namespace

void CalibrationWindow::start()
{
    if (isRunning() || m_session.linkState() != movra::LinkState::Connected)
        return;
    if (m_due->date() < QDate::currentDate() && !m_allowExpired->isChecked()) {
        m_status->setText(tr("参考仪器已过期（有效期 %1），未开始校准")
                              .arg(m_due->date().toString(QStringLiteral("yyyy-MM-dd"))));
        return;
    }
    const movra::calibrate::Plan p = plan();
    if (!p.targets[0].on && !p.targets[1].on) {
        m_status->setText(tr("请至少勾选温度或湿度"));
        return;
    }
    for (int r = 0; r < 2; ++r) {
        for (int c = AsFound; c <= Verdict; ++c)
            m_results->item(r, c)->setText(QString());
    }
    m_run = std::make_unique<CalibrationRun>(m_session, p);
    connect(m_run.get(), &CalibrationRun::phaseChanged, this, &CalibrationWindow::showPhase);
    connect(m_run.get(), &CalibrationRun::stabilityChanged, this,
            &CalibrationWindow::showStability);
    connect(m_run.get(), &CalibrationRun::resultChanged, this, &CalibrationWindow::showResult);
    connect(m_run.get(), &CalibrationRun::finished, this, &CalibrationWindow::onFinished);
    emit started();
    m_run->start();
    refreshStart();
}

void CalibrationWindow::stop()
{
    if (isRunning())
        m_run->cancel();
}

void CalibrationWindow::afterTick()
{
    if (isRunning())
        m_run->tick();
    else if (m_history && isVisible())
        showIdleStability();
}

void CalibrationWindow::showIdleStability()
{
    for (const Quantity q : movra::calibrate::kBoth) {
        const auto tq = movra::trend::Quantity(int(q));
        const bool any = m_history && !m_history->series(tq).isEmpty();
        m_rows[size_t(q)].stability->setText(any ? stabilityText(m_history->stability(tq), q)
                                                 : tr("尚无读数"));
    }
}

void CalibrationWindow::showStability(Quantity q, const movra::trend::Stability &s)
{
    m_rows[size_t(q)].stability->setText(stabilityText(s, q));
}

void CalibrationWindow::showPhase(Phase phase)
{
    if (phase != Phase::Done)
        m_status->setText(phaseText(phase));
}

void CalibrationWindow::showResult(Quantity q)
{
    const movra::calibrate::Result &r = m_run->result(q);
    const int row = int(q);
    m_results->item(row, AsFound)->setText(meanText(r.asFound, q));
    if (r.correctionAfter)
        m_results->item(row, Correction)
            ->setText(QStringLiteral("%1 → %2").arg(movra::tenthsText(r.correctionBefore),
                                                    movra::tenthsText(*r.correctionAfter)));
    m_results->item(row, Write)
        ->setText(r.written      ? tr("已写入")
                  : r.outOfRange ? tr("超出范围")
                                 : QString());
    m_results->item(row, AsLeft)->setText(meanText(r.asLeft, q));
    if (r.asLeft)
        m_results->item(row, Verdict)->setText(r.pass ? tr("合格") : tr("不合格"));
}

void CalibrationWindow::onFinished(Outcome outcome)
{
    for (const Quantity q : movra::calibrate::kBoth) {
        if (!m_run->plan().target(q).on)
            continue;
        showResult(q);
        if (outcome != Outcome::Passed && outcome != Outcome::Cancelled &&
            outcome != Outcome::PortLost && outcome != Outcome::DeviceFault)
            m_results->item(int(q), Verdict)->setText(tr("不合格"));
    }
    m_status->setText(outcomeText(outcome, *m_run));
    refreshStart();
    emit finished(trace(), *m_run);
    emit ended();
}
