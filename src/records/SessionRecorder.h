#pragma once

// Feeds what a window's session reports to the Recorder: the connection
// and its end, judged readings, the outcome of each write (with the value
// its frame carried) and each batch read. The store opens at start-up on
// its writer thread, without the caller waiting.

#include <QObject>
#include <QString>
#include <array>

#include "records/Recorder.h"

namespace movra::records {

class SessionRecorder : public QObject
{
    Q_OBJECT
public:
    SessionRecorder(Session &session, RecordStore &store, const QString &path,
                    const QString &centralUrl = QString());

    // Off: nothing is recorded, and the store is opened for reading only.
    void setEnabled(bool on) { enabled = on; }
    // Opens the store if it is not open yet: for writing in the background
    // while recording, for reading otherwise.
    void openStore();
    // Who tests which unit against what, for the records from now on.
    void setTrace(const Trace &trace) { recorder.setTrace(trace); }
    void calibrated(const Calibration &calibration) { recorder.calibrated(calibration); }

private:
    void onAttemptFailed(const QString &reason);
    void onFrameSent(qint32 code, const QByteArray &frame);
    void onWriteEnded(qint32 code, bool confirmed);
    RecordStore *ready();

    Session &session;
    RecordStore &store;
    QString path;
    QString centralUrl;
    Recorder recorder;
    bool enabled = true;
    bool opened = false;
    bool attempting = false; // a connection attempt is under way
    // What each write code last sent, for the record of how it ended.
    std::array<qint32, movra::kParameterCount> sentValue{};
    ParameterValues batch;
};

} // namespace movra::records
