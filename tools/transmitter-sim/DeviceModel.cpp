#include "DeviceModel.h"

#include <QString>
#include <QtMath>
#include <algorithm>

namespace movrasim {

namespace {

using namespace movra;

constexpr quint16 MaxReadCount = 125;

quint16 wordAt(const QByteArray &b, int i)
{
    return quint16(quint8(b.at(i)) << 8 | quint8(b.at(i + 1)));
}

void appendWord(QByteArray *b, quint16 v)
{
    b->append(char(v >> 8));
    b->append(char(v & 0xFF));
}

QByteArray exceptionReply(quint8 address, quint8 function, quint8 code)
{
    QByteArray r;
    r.append(char(address));
    r.append(char(function | FnExceptionBit));
    r.append(char(code));
    appendCrc(r);
    return r;
}

QString hex(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex(' '));
}

} // namespace

DeviceModel::DeviceModel() : m_random(m_faults.seed), m_noiseRandom(m_faults.seed)
{
    m_uptime.start();
}

QByteArray DeviceModel::identificationText()
{
    static const char text[] = "ARDENO\0KVT582-TH\0V1.31\0";
    return QByteArray(text, int(sizeof(text)) - 1);
}

void DeviceModel::setClock(std::function<qint64()> msSinceStart)
{
    m_clock = std::move(msSinceStart);
}

qint64 DeviceModel::now() const
{
    return m_clock ? m_clock() : m_uptime.elapsed();
}

void DeviceModel::setFixedTemperature(std::optional<qint16> tenths)
{
    m_fixedTemp = tenths;
    m_tempChange.reset();
}

void DeviceModel::setFixedHumidity(std::optional<quint16> tenths)
{
    m_fixedHumi = tenths;
    m_humiChange.reset();
}

void DeviceModel::settleTemperature(const Settling &change)
{
    m_tempChange = Change{change, now()};
}

void DeviceModel::settleHumidity(const Settling &change)
{
    m_humiChange = Change{change, now()};
}

int DeviceModel::raw(const std::optional<Change> &change, std::optional<int> pinned,
                     double (*drift)(double seconds)) const
{
    if (change)
        return change->settling.valueAt(now() - change->startMs);
    if (pinned)
        return *pinned;
    return qRound(drift(double(now()) / 1000.0));
}

void DeviceModel::setNoise(double temperatureSd, double humiditySd)
{
    m_tempNoise = temperatureSd;
    m_humiNoise = humiditySd;
}

int DeviceModel::noise(double sd) const
{
    if (sd <= 0.0)
        return 0;
    std::normal_distribution<double> gauss(0.0, sd);
    return qRound(gauss(m_noiseRandom));
}

qint16 DeviceModel::temperature() const
{
    // Room air: a slow swing of about 1.4 degrees with a little ripple.
    const int t = raw(m_tempChange, m_fixedTemp, [](double s) {
        return 231.0 + 14.0 * qSin(2 * M_PI * s / 600.0 + 0.5) + 3.0 * qSin(2 * M_PI * s / 71.0);
    });
    const int read = t + m_tempError + noise(m_tempNoise);
    return qint16(std::clamp(read + m_tempCorrection, -32768, 32767));
}

quint16 DeviceModel::humidity() const
{
    const int h = raw(m_humiChange, m_fixedHumi, [](double s) {
        return 452.0 + 60.0 * qSin(2 * M_PI * s / 420.0) + 12.0 * qSin(2 * M_PI * s / 97.0 + 1.0);
    });
    // A humidity sensor cannot report below dry or above saturated air.
    const int read = h + m_humiError + noise(m_humiNoise);
    return quint16(std::clamp(read + m_humiCorrection, 0, 1000));
}

quint16 DeviceModel::measurementRegister(quint16 reg) const
{
    const bool swapped = m_order == quint16(OrderMode::TemperatureFirst);
    const bool wantHumidity = (reg == RegHumidity) != swapped;
    return wantHumidity ? humidity() : quint16(temperature());
}

void DeviceModel::setFaults(const Faults &faults)
{
    m_faults = faults;
    m_random.seed(faults.seed);
    m_noiseRandom.seed(faults.seed);
}

void DeviceModel::note(const QString &text) const
{
    if (m_note)
        m_note(text);
}

DeviceModel::Frame DeviceModel::takeFrame(QByteArray *frame)
{
    int skipped = 0;
    Frame kind = Frame::None;
    while (m_rx.size() >= kBaudFrameSize) {
        if (m_rx.startsWith(QByteArray(3, char(kBaudMark))) &&
            crcHolds(m_rx.left(kBaudFrameSize), 5)) {
            kind = Frame::BaudRate;
            *frame = m_rx.left(kBaudFrameSize);
            m_rx.remove(0, kBaudFrameSize);
            break;
        }
        if (m_rx.size() < kRequestFrameSize)
            break; // could still become a request
        if (crcHolds(m_rx.left(kRequestFrameSize), 6)) {
            kind = Frame::Request;
            *frame = m_rx.left(kRequestFrameSize);
            m_rx.remove(0, kRequestFrameSize);
            break;
        }
        m_rx.remove(0, 1);
        ++skipped;
    }
    if (skipped > 0)
        note(QStringLiteral("skipped %1 byte(s) that start no frame").arg(skipped));
    return kind;
}

QVector<Emission> DeviceModel::receive(const QByteArray &bytes, qint32 lineBaudRate)
{
    QVector<Emission> out;
    // The adapter's own receiver hears the line, whatever the device does.
    if (m_faults.echo && !bytes.isEmpty())
        out.append({0, bytes});
    m_rx.append(bytes);

    QByteArray frame;
    Frame kind;
    while ((kind = takeFrame(&frame)) != Frame::None) {
        if (lineBaudRate != 0 && lineBaudRate != m_baudRate) {
            note(QStringLiteral("ignored: line at %1 Bd, device at %2 Bd")
                     .arg(lineBaudRate)
                     .arg(m_baudRate));
            continue;
        }
        bool restartAfter = false;
        const QByteArray reply = answer(frame, kind, &restartAfter);
        if (!reply.isEmpty()) {
            if (m_faults.silent) {
                note(QStringLiteral("silent: reply %1 withheld").arg(hex(reply)));
            } else if (m_faults.dropPercent > 0 && int(m_random() % 100) < m_faults.dropPercent) {
                note(QStringLiteral("drop: reply %1 left out").arg(hex(reply)));
            } else {
                // The identification text is the one reply without a CRC.
                shape(reply, reply != identificationText(), &out);
            }
        }
        if (restartAfter)
            restart();
    }
    return out;
}

void DeviceModel::shape(QByteArray reply, bool hasCrc, QVector<Emission> *out)
{
    if (m_faults.badCrc && hasCrc && reply.size() >= 2) {
        reply[reply.size() - 1] = char(reply.at(reply.size() - 1) ^ 0xFF);
        reply[reply.size() - 2] = char(reply.at(reply.size() - 2) ^ 0xFF);
    }
    int wait = m_faults.delayMs;
    if (m_faults.garbageGapMs >= 0) {
        QByteArray burst;
        const int length = 4 + int(m_random() % 13);
        for (int i = 0; i < length; ++i)
            burst.append(char(m_random() & 0xFF));
        out->append({wait, burst});
        wait = m_faults.garbageGapMs;
    }
    if (m_faults.splitGapMs >= 0 && reply.size() >= 2) {
        const int half = reply.size() / 2;
        out->append({wait, reply.left(half)});
        out->append({m_faults.splitGapMs, reply.mid(half)});
    } else {
        out->append({wait, reply});
    }
}

QByteArray DeviceModel::answer(const QByteArray &frame, Frame kind, bool *restart)
{
    return kind == Frame::BaudRate ? answerBaudFrame(frame) : answerRequest(frame, restart);
}

QByteArray DeviceModel::answerBaudFrame(const QByteArray &frame)
{
    const quint8 code = quint8(frame.at(3));
    QByteArray reply(3, char(kBaudMark));
    if (code == 0) {
        reply.append(char(baudCodeForRate(m_baudRate)));
    } else if (code <= 7) {
        m_pendingBaudRate = baudRateForCode(code);
        note(QStringLiteral("baud rate %1 Bd stored, active after restart").arg(m_pendingBaudRate));
        reply.append(char(code));
    } else {
        note(QStringLiteral("ignored: baud code %1 unknown").arg(code));
        return {};
    }
    reply.append(char(0));
    appendCrc(reply);
    return reply;
}

QByteArray DeviceModel::answerRequest(const QByteArray &frame, bool *restart)
{
    const quint8 address = quint8(frame.at(0));
    const quint8 function = quint8(frame.at(1));
    const quint16 reg = wordAt(frame, 2);
    const quint16 value = wordAt(frame, 4);

    const bool mine = address == m_address || address == kAnyDevice;
    if (!mine && address != kProbeAddress) {
        note(QStringLiteral("ignored: for station %1, this is %2").arg(address).arg(m_address));
        return {};
    }
    if (!mine) {
        // 0xFD only carries the test-mode probe of the address block.
        const bool probe =
            function == FnRead && reg >= RegAddress && value >= 1 && reg + value <= RegReserved + 1;
        if (!probe) {
            note(QStringLiteral("ignored: station 253 takes only reads of 0x0100..0x0101"));
            return {};
        }
    }
    if (m_faults.exception)
        return exceptionReply(address, function, ExIllegalFunction);
    switch (function) {
    case FnRead:
        return answerRead(address, reg, value);
    case FnWrite:
        return answerWrite(frame, reg, value, restart);
    default:
        return exceptionReply(address, function, ExIllegalFunction);
    }
}

std::optional<quint16> DeviceModel::readRegister(quint16 reg) const
{
    switch (reg) {
    case RegHumidity:
    case RegTemperature:
        return measurementRegister(reg);
    case RegTempCorrection:
        return quint16(m_tempCorrection);
    case RegHumiCorrection:
        return quint16(m_humiCorrection);
    case RegOrder:
        return m_order;
    case RegAddress:
        return m_address;
    case RegReserved:
        return 0;
    default:
        return std::nullopt;
    }
}

QByteArray DeviceModel::answerRead(quint8 replyAddress, quint16 reg, quint16 count)
{
    if (count == 0 || count > MaxReadCount)
        return exceptionReply(replyAddress, FnRead, ExIllegalValue);
    QByteArray reply;
    reply.append(char(replyAddress));
    reply.append(char(FnRead));
    reply.append(char(count * 2));
    for (int i = 0; i < count; ++i) {
        const auto v = reg + i > 0xFFFF ? std::nullopt : readRegister(quint16(reg + i));
        if (!v)
            return exceptionReply(replyAddress, FnRead, ExIllegalAddress);
        appendWord(&reply, *v);
    }
    appendCrc(reply);
    return reply;
}

QByteArray DeviceModel::answerWrite(const QByteArray &frame, quint16 reg, quint16 value,
                                    bool *restart)
{
    const quint8 address = quint8(frame.at(0));
    const qint16 signedValue = qint16(value);
    switch (reg) {
    case RegTempCorrection:
    case RegHumiCorrection:
        if (std::abs(int(signedValue)) > CorrectionLimit)
            return exceptionReply(address, FnWrite, ExIllegalValue);
        (reg == RegTempCorrection ? m_tempCorrection : m_humiCorrection) = signedValue;
        return frame;
    case RegOrder:
        if (value > quint16(OrderMode::TemperatureFirst))
            return exceptionReply(address, FnWrite, ExIllegalValue);
        m_order = value;
        return frame;
    case RegAddress:
        if (value < 1 || value > 254)
            return exceptionReply(address, FnWrite, ExIllegalValue);
        m_address = quint8(value);
        return frame;
    case RegRestart:
        *restart = true;
        return frame;
    case RegIdentify:
        return identificationText();
    default:
        return exceptionReply(address, FnWrite, ExIllegalAddress);
    }
}

void DeviceModel::restart()
{
    if (m_pendingBaudRate != 0)
        m_baudRate = m_pendingBaudRate;
    m_pendingBaudRate = 0;
    m_rx.clear();
    note(QStringLiteral("restarted at %1 Bd").arg(m_baudRate));
}

} // namespace movrasim
