#pragma once

// "校准": one unit calibrated against a reference instrument with the
// procedure of src/calibrate, on the window's own line. Not modal. The
// owner ticks it after each tick of the engine, pauses its periodic reading
// between started() and ended(), and keeps what finished() reports.

#include <QWidget>
#include <array>
#include <memory>

#include "calibrate/CalibrationRun.h"
#include "records/Record.h"

class QCheckBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace movra::trend {
class TrendHistory;
}

class CalibrationWindow : public QWidget
{
    Q_OBJECT
public:
    // `history` gives the stability while no calibration runs; `bands` are
    // the [trend] bands, 0.2 ℃ and 1.0 %RH unless Station.ini sets them.
    CalibrationWindow(movra::Session &session, const movra::trend::TrendHistory *history,
                      std::array<double, 2> bands, QWidget *parent = nullptr);
    ~CalibrationWindow() override;

    bool isRunning() const;
    // Who calibrates which unit against what, as the fields say.
    movra::records::Trace trace() const;
    QPushButton *startButton() const { return m_start; }
    QTableWidget *resultsView() const { return m_results; }
    QString statusText() const;

public slots:
    void afterTick();
    void start();
    void stop();

signals:
    void started();
    void ended();
    void finished(const movra::records::Trace &trace, const movra::calibrate::CalibrationRun &run);

private:
    enum Column { AsFound, Correction, Write, AsLeft, Verdict, Columns };
    struct Row
    {
        QCheckBox *on = nullptr;
        QDoubleSpinBox *reference = nullptr;
        QDoubleSpinBox *tolerance = nullptr;
        QLabel *stability = nullptr;
    };
    QWidget *buildUnitBox();
    QWidget *buildTargetBox();
    QWidget *buildResults();
    movra::calibrate::Plan plan() const;
    void refreshStart();
    void showIdleStability();
    void showStability(movra::Quantity q, const movra::trend::Stability &s);
    void showResult(movra::Quantity q);
    void showPhase(movra::calibrate::CalibrationRun::Phase phase);
    void onFinished(movra::calibrate::Outcome outcome);

    movra::Session &m_session;
    const movra::trend::TrendHistory *m_history;
    std::array<double, 2> m_bands;
    std::unique_ptr<movra::calibrate::CalibrationRun> m_run;
    QLineEdit *m_serial = nullptr;
    QLineEdit *m_operator = nullptr;
    QLineEdit *m_reference = nullptr;
    QDateEdit *m_due = nullptr;
    QCheckBox *m_allowExpired = nullptr;
    std::array<Row, 2> m_rows;
    QSpinBox *m_samples = nullptr;
    QSpinBox *m_settle = nullptr;
    QSpinBox *m_maxWait = nullptr;
    QTableWidget *m_results = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
};
