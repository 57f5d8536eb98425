#pragma once

// Turns what a session reports into records: each connection attempt, each
// judged reading, each parameter write, each batch read, each disconnect.
// The window and the command line record the same way through it. The store
// is opened on the first record, so a tool that never connects leaves no
// file behind.

#include <QObject>
#include <QString>
#include <array>
#include <optional>

#include "engine/Session.h"
#include "records/RecordStore.h"

namespace movra::records {

class SessionRecorder : public QObject
{
    Q_OBJECT
public:
    // Records what `session` reports into `store`, opened at `path` (and
    // copying to `centralUrl` when it is set) on the first record.
    SessionRecorder(Session &session, RecordStore &store, const QString &path,
                    const QString &centralUrl = QString());

    void setEnabled(bool on) { enabled = on; }
    // Opens the store now if it is not open yet (the records window needs it).
    void openStore();

private:
    void onConnected(const Identity &identity);
    void onAttemptFailed(const QString &reason);
    void onDisconnected(bool byOperator, const QString &reason);
    void onMeasured(const Measurement &m);
    void onFrameSent(qint32 code, const QByteArray &frame);
    void onWriteEnded(qint32 code, bool confirmed);
    void onParameterRead(movra::Parameter parameter, qint32 value);
    void onBatchFinished(bool write);
    bool ready();

    Session &session;
    RecordStore &store;
    QString path;
    QString centralUrl;
    bool enabled = true;
    bool opened = false;
    bool attempting = false; // a connection attempt is under way
    bool unitOpen = false;   // a unit under test is being recorded
    // What each write code last sent, for the record of how it ended.
    std::array<qint32, movra::kParameterCount> sentValue{};
    BatchRead batch;
};

} // namespace movra::records
