// The line to one transmitter, without a window: the pending request, reply
// intake, the handshake, manual connection and the seven-rate scan, both
// batch sequencers, measurements and their judgement, and the statistics of
// the link. Whoever owns the 10 ms timer calls tick(); every time-out is a
// count of ticks, and nothing here sleeps or waits. What happens is told
// through signals, in the order it happens, so an owner that opens a modal
// box from a handler sees the state already changed.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <array>
#include <functional>

#include "engine/LinkStats.h"
#include "engine/Qualification.h"
#include "link/Protocol.h"
#include "link/ReplyEnd.h"
#include "link/Requests.h"

namespace movra {

enum class LinkState : qint32 {
    Idle = 0,
    ManualConnecting = 1,
    AutoConnecting = 2,
    Connected = 3,
    Failed = 4,
    Disconnected = 5,
};

// One accepted reading: either value may be missing (not asked for, or out
// of its range).
struct Measurement
{
    bool hasTemperature = false;
    bool hasHumidity = false;
    qint16 temperature = 0; // tenths of degC
    quint16 humidity = 0;   // tenths of %RH
    Judgement temperatureJudgement;
    Judgement humidityJudgement;
};

// A successful handshake.
struct Identity
{
    QString port;
    qint32 baudRate = 0;
    bool testMode = false;
    QByteArray reply; // the block the handshake accepted
    int station = -1; // learned from a test-mode reply, else -1
};

// The tick grid. The window's timing is these numbers; nothing else may
// count time differently.
namespace timing {
constexpr int kTickMs = 10;
constexpr int kQuietTicks = 3;        // a reply is taken on the 3rd quiet tick...
constexpr int kTakeAtOnceBytes = 100; // ...or at once when more than this waits
constexpr int kPeriodTicks = 10;      // connection steps and batch sequencers
constexpr int kSecondTicks = 100;     // periodic measurement
constexpr int kManualAttemptPeriods = 5;
constexpr int kScanWindowPeriods = 3;
constexpr int kBatchTimeoutPeriods = 10;
} // namespace timing

// How received bytes become a block. QuietTicks is the window's rule: a
// block is taken on the third quiet tick, or at once past 100 bytes.
// WhenComplete also takes a reply the moment replyBoundary() finds it
// complete, lets one that is not complete yet wait for its time-out, leaves
// bytes it cannot recognise (or bound) to the quiet rule, and drops bytes still
// waiting when the next request goes out (counted as not matching).
enum class Intake { QuietTicks, WhenComplete };

class Session : public QObject
{
    Q_OBJECT

public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;

    // One tick of the 10 ms grid.
    void tick();
    // Ticks from now until one can act: 1 is the next tick; -1 means none
    // until something from outside happens (bytes, an operator action).
    // Ticks before it only advance the period and second counters.
    int ticksUntilDue() const;
    // For whoever runs the ticks on a clock of its own: `catchUp` is called
    // before anything from outside changes the session (bytes, the port, an
    // operator action, a request), so the ticks that have passed run first;
    // dueChanged() follows the change.
    void setCatchUp(std::function<void()> catchUp) { m_catchUp = std::move(catchUp); }
    // Bytes from the line (the port's own arrive here by themselves).
    void receive(const QByteArray &bytes);
    // QuietTicks unless the owner chooses otherwise.
    void setIntake(Intake intake) { change(m_intake, intake); }
    Intake intake() const { return m_intake; }
    // Keeps tick `tick` due, for an owner that waits until then.
    void wakeAt(quint64 tick) { change(m_wakeTick, tick); }

    // The port. openPort shows the current state first, then configures
    // 8N1 without flow control at `rate` and opens it read-write; a failure
    // arrives through portFailed, possibly before openPort returns.
    QSerialPort &port() { return m_port; }
    void openPort(const QString &name, qint32 rate);
    void closePort();

    // Connection. Both starts refuse while an attempt is under way.
    bool isConnecting() const;
    bool beginManualConnect();
    bool beginAutoConnect();
    void disconnectByOperator();

    // What the owner's controls hold.
    void setBaudRate(qint32 rate) { change(m_baudRate, rate); }
    qint32 baudRate() const { return m_baudRate; }
    void setStation(quint8 address) { change(m_station, address); }
    quint8 station() const { return m_station; }
    void setTestMode(bool on) { change(m_testMode, on); }
    bool testMode() const { return m_testMode; }
    void setReadParametersOnConnect(bool on) { change(m_readParamOnConnect, on); }
    bool readParametersOnConnect() const { return m_readParamOnConnect; }
    void setWriteValue(Parameter p, qint32 value) { change(m_writeValue[size_t(p)], value); }
    qint32 writeValue(Parameter p) const { return m_writeValue[size_t(p)]; }
    void setWriteEnabled(Parameter p, bool on) { change(m_writeEnabled[size_t(p)], on); }
    bool writeEnabled(Parameter p) const { return m_writeEnabled[size_t(p)]; }
    void setPeriodicReading(Quantity q, bool on) { change(m_periodic[size_t(q)], on); }
    bool periodicReading(Quantity q) const { return m_periodic[size_t(q)]; }
    void setInterval(Quantity q, qint32 seconds) { change(m_interval[size_t(q)], seconds); }
    qint32 interval(Quantity q) const { return m_interval[size_t(q)]; }
    void setCheck(Quantity q, const Check &check) { change(m_check[size_t(q)], check); }
    const Check &check(Quantity q) const { return m_check[size_t(q)]; }

    // Operator actions.
    void startBatchRead();
    void startBatchWrite();
    void readNow();

    // A request of the table, outside the window's procedures (scripts): it
    // replaces whatever was pending. With timeoutTicks > 0 it ends either
    // with the reply that settles it (replySettled, or connected for a
    // probe) or, that many ticks later, with requestTimedOut.
    void request(qint32 code, qint32 value = 0, int timeoutTicks = 0);

    LinkState linkState() const { return m_linkState; }
    qint32 pendingRequest() const { return m_pending; }
    const QByteArray &lastRequest() const { return m_lastRequest; }
    int bufferedBytes() const { return int(m_rx.size()); }
    // Every byte that came in since the session was made.
    quint64 bytesReceived() const { return m_bytesIn; }
    // The device's order mode as last read or confirmed since the
    // handshake; -1 before. Readings are decoded by it.
    qint32 orderMode() const { return m_orderMode; }
    bool batchReadActive() const { return m_batchRead.active; }
    bool batchWriteActive() const { return m_batchWrite.active; }
    quint64 ticks() const { return m_ticks; }
    const LinkStats &stats() const { return m_stats; }

signals:
    void logMessage(const QString &message);
    void linkStatus(movra::LinkState state);      // show the state's text
    void controlsRefresh(movra::LinkState state); // enable the controls for it
    void portFailed(const QString &reason);
    void connectTimedOut(bool automatic, const QString &hints);
    void scanRateChosen(int index); // before the port opens at that rate
    void scanPortOpened(int index); // after it did or did not
    void handshakeSucceeded();
    void connected(const movra::Identity &identity);
    void stationLearned(quint8 address);
    void parameterRead(movra::Parameter parameter, qint32 value);
    void measured(const movra::Measurement &measurement);
    void writeConfirmed(qint32 code, qint32 value);
    void writeRejected(qint32 code);
    void requestTimedOut(qint32 code);
    void batchStarted(bool write);
    void batchFinished(bool write, int failures, const QString &summary);
    void frameSent(qint32 code, const QByteArray &frame);
    void replySettled(qint32 code);
    void disconnected(bool byOperator, const QString &reason);
    void dueChanged();

private:
    // Brackets every change from outside the tick.
    struct FromOutside
    {
        explicit FromOutside(Session &session) : s(session)
        {
            if (s.m_catchUp)
                s.m_catchUp();
        }
        ~FromOutside() { emit s.dueChanged(); }
        FromOutside(const FromOutside &) = delete;
        FromOutside &operator=(const FromOutside &) = delete;
        Session &s;
    };
    template <typename T, typename V> void change(T &member, V value)
    {
        const FromOutside o(*this);
        member = T(value);
    }

    struct Batch
    {
        bool active = false;
        qint16 step = 0;
        qint16 timeoutCount = 0;
        quint8 failCount = 0;
    };

    // Session.cpp: the tick, intake, sending, the port.
    void takeReply();
    void takeCompleteReplies();
    void handleBlock(const QByteArray &block);
    QByteArray awaitedFrame() const { return m_pending != 0 ? m_lastRequest : QByteArray(); }
    void send(qint32 code, qint32 value = 0);
    void writeRequestFrame(qint32 code, qint32 value);
    void noteRequestGivenUp(qint32 code);
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void showControls(LinkState state);
    void checkDeadline();

    // SessionConnect.cpp
    void checkHandshake(const QByteArray &block, qint32 probe);
    void manualConnectStep();
    void autoConnectStep();
    void scanNextRate();
    void sendProbes(bool bothOnOddPeriods);
    void learnStation(quint8 address);
    void requeueInterruptedBatchItem();

    // SessionBatch.cpp
    void batchWriteStep();
    void batchReadStep();
    void finishBatch(bool write, Batch &batch);

    // SessionReplies.cpp
    bool handleReply(const QByteArray &block);
    bool applyBaudReply(const QByteArray &bytes, quint8 baudCode);
    bool applyWriteEcho(const QByteArray &bytes);
    void applyRead(quint8 address, quint16 first, quint16 second);
    void showBaudRate(qint32 rate);
    void noteUnrecognised(NotRecognisedCause cause);

    // SessionMeasure.cpp
    void pollMeasurement();
    void applyMeasurement(qint16 rawTemp, quint16 rawHumi, bool tempValid, bool humiValid);

    QSerialPort m_port;
    QByteArray m_rx;
    Intake m_intake = Intake::QuietTicks;
    ReplyEnd m_rxEnd = ReplyEnd::Incomplete; // WhenComplete: of m_rx
    quint64 m_wakeTick = 0;
    QByteArray m_lastRequest;

    LinkState m_linkState = LinkState::Idle;
    quint16 m_connectCount = 0;
    bool m_testMode = false;
    qint32 m_baudRate = 0;
    quint8 m_station = 1;
    quint16 m_idleTicks = 0;
    quint16 m_periodTicks = 0;
    quint16 m_secondTicks = 0;
    qint32 m_autoBaudIndex = 0;
    bool m_readParamOnConnect = false;
    qint32 m_pending = 0;
    qint32 m_pendingValue = 0;
    qint32 m_orderMode = -1;

    Batch m_batchRead;
    Batch m_batchWrite;
    std::array<qint32, kParameterCount> m_writeValue{};
    std::array<bool, kParameterCount> m_writeEnabled{};

    std::array<bool, 2> m_periodic{};
    std::array<qint32, 2> m_interval{};
    std::array<quint32, 2> m_seconds{};
    std::array<Check, 2> m_check{};

    quint64 m_ticks = 0;
    quint64 m_bytesIn = 0;
    quint64 m_sentAtTick = 0;
    quint64 m_deadline = 0; // tick that gives a script's request up; 0: none
    qint32 m_deadlineCode = 0;
    LinkStats m_stats;
    std::function<void()> m_catchUp;
};

} // namespace movra

Q_DECLARE_METATYPE(movra::LinkState)
Q_DECLARE_METATYPE(movra::Measurement)
Q_DECLARE_METATYPE(movra::Identity)
Q_DECLARE_METATYPE(movra::Parameter)
