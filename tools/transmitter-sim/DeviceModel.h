// The simulated transmitter without any I/O: bytes in, timed replies out.
#pragma once

#include "Faults.h"
#include "Settling.h"
#include "link/Protocol.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QVector>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <random>

namespace movrasim {

// One piece of output. delayMs counts from the previous piece of the same
// receive() call, or from the arrival of the bytes for the first one.
struct Emission
{
    int delayMs = 0;
    QByteArray bytes;

    bool operator==(const Emission &o) const { return delayMs == o.delayMs && bytes == o.bytes; }
};

class DeviceModel
{
public:
    // Beyond the protocol: the limit the device itself puts on a correction.
    static constexpr qint16 CorrectionLimit = 1000;

    DeviceModel();

    static QByteArray identificationText();

    quint8 address() const { return m_address; }
    void setAddress(quint8 address) { m_address = address; }
    qint32 baudRate() const { return m_baudRate; }
    void setBaudRate(qint32 rate) { m_baudRate = rate; }
    // Rate set by a baud-rate frame, waiting for a restart; 0 when none.
    qint32 pendingBaudRate() const { return m_pendingBaudRate; }
    qint16 temperatureCorrection() const { return m_tempCorrection; }
    void setTemperatureCorrection(qint16 tenths) { m_tempCorrection = tenths; }
    qint16 humidityCorrection() const { return m_humiCorrection; }
    void setHumidityCorrection(qint16 tenths) { m_humiCorrection = tenths; }
    quint16 orderMode() const { return m_order; }
    void setOrderMode(quint16 mode) { m_order = mode; }

    // Milliseconds since power-up; the default is a monotonic clock.
    void setClock(std::function<qint64()> msSinceStart);
    // Pin the sensor's raw readings (tenths) instead of the drifting ones;
    // ends a change under way.
    void setFixedTemperature(std::optional<qint16> tenths);
    void setFixedHumidity(std::optional<quint16> tenths);
    // Moves a raw reading as `change` says, starting now on the clock; it
    // then stays at the change's end, as if pinned there.
    void settleTemperature(const Settling &change);
    void settleHumidity(const Settling &change);

    // A unit whose sensor reads off by a fixed error (tenths) until a
    // correction makes up for it, with Gaussian noise of the given standard
    // deviation (tenths) on every reading; the noise follows the faults' seed.
    void setTemperatureError(int tenths) { m_tempError = tenths; }
    void setHumidityError(int tenths) { m_humiError = tenths; }
    void setNoise(double temperatureSd, double humiditySd);

    // Readings as the device reports them, corrections applied.
    qint16 temperature() const;
    quint16 humidity() const;
    // Contents of 0x0000 and 0x0001 after the order mode.
    quint16 measurementRegister(quint16 reg) const;

    void setFaults(const Faults &faults);
    const Faults &faults() const { return m_faults; }

    // Why a frame went unanswered or was answered oddly; for the wire log.
    void setNoteSink(std::function<void(const QString &)> sink) { m_note = std::move(sink); }

    // Feeds bytes from the line. lineBaudRate is the speed the peer uses
    // (0 = unknown); frames received at any other speed than the device's
    // are ignored, as a real UART would see only noise.
    QVector<Emission> receive(const QByteArray &bytes, qint32 lineBaudRate = 0);

    // Bytes held for an incomplete frame.
    int bufferedBytes() const { return m_rx.size(); }

private:
    struct Change
    {
        Settling settling;
        qint64 startMs = 0; // on the clock
    };
    enum class Frame { None, Request, BaudRate };
    Frame takeFrame(QByteArray *frame);
    QByteArray answer(const QByteArray &frame, Frame kind, bool *restart);
    QByteArray answerRequest(const QByteArray &frame, bool *restart);
    QByteArray answerRead(quint8 replyAddress, quint16 reg, quint16 count);
    QByteArray answerWrite(const QByteArray &frame, quint16 reg, quint16 value, bool *restart);
    QByteArray answerBaudFrame(const QByteArray &frame);
    std::optional<quint16> readRegister(quint16 reg) const;
    void restart();
    void shape(QByteArray reply, bool hasCrc, QVector<Emission> *out);
    void note(const QString &text) const;
    qint64 now() const;
    // The raw reading (tenths) of a change, a pin, or the room's drift.
    int raw(const std::optional<Change> &change, std::optional<int> pinned,
            double (*drift)(double seconds)) const;
    int noise(double sd) const;

    quint8 m_address = 1;
    qint32 m_baudRate = 9600;
    qint32 m_pendingBaudRate = 0;
    qint16 m_tempCorrection = 0;
    qint16 m_humiCorrection = 0;
    quint16 m_order = quint16(movra::OrderMode::Hardware);
    std::optional<qint16> m_fixedTemp;
    std::optional<quint16> m_fixedHumi;
    std::optional<Change> m_tempChange;
    std::optional<Change> m_humiChange;
    Faults m_faults;
    std::mt19937 m_random;
    int m_tempError = 0;
    int m_humiError = 0;
    double m_tempNoise = 0.0;
    double m_humiNoise = 0.0;
    // Readings are asked of a const device; the noise still moves on.
    mutable std::mt19937 m_noiseRandom;
    QByteArray m_rx;
    QElapsedTimer m_uptime;
    std::function<qint64()> m_clock;
    std::function<void(const QString &)> m_note;
};

// Modbus exception codes the device uses.
enum : quint8 { ExIllegalFunction = 0x01, ExIllegalAddress = 0x02, ExIllegalValue = 0x03 };

} // namespace movrasim
