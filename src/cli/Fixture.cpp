#include "cli/Fixture.h"

#include <QEventLoop>
#include <algorithm>

#include "cli/StoreSink.h"

namespace movra::cli {

struct FixtureRun::Unit
{
    QString port;
    QString serial;
    Output out;
    records::Recorder recorder;
    std::unique_ptr<DeviceRun> run;
    int status = -1; // -1 while it runs
};

FixtureRun::FixtureRun(const Invocation &inv, const LineChoice &choice, Output &out,
                       RecordFile *file)
    : m_inv(inv), m_out(out)
{
    for (int i = 0; i < inv.ports.size(); ++i) {
        const QString serial = inv.serials.value(i);
        LineChoice line = choice;
        line.port = inv.ports.at(i);
        auto unit =
            std::unique_ptr<Unit>(new Unit{line.port, serial, out.unit(line.port, serial, true),
                                           unitRecorder(file, inv, serial), nullptr});
        unit->run = std::make_unique<DeviceRun>(inv, line, unit->out, unit->recorder);
        m_units.push_back(std::move(unit));
    }
}

FixtureRun::~FixtureRun() = default;

int FixtureRun::run()
{
    QEventLoop loop;
    size_t running = m_units.size();
    for (auto &unit : m_units) {
        Unit *u = unit.get();
        u->run->start([u, &running, &loop](int status) {
            u->status = status;
            if (--running == 0)
                loop.quit();
        });
    }
    if (running > 0)
        loop.exec();
    summarize();
    int worst = 0;
    for (const auto &u : m_units)
        worst = std::max(worst, u->status);
    return worst;
}

void FixtureRun::summarize()
{
    int passed = 0;
    QVector<Event> results;
    const auto width = [this](auto field, int least) {
        int w = least;
        for (const auto &u : m_units)
            w = std::max(w, int(field(*u).size()));
        return w;
    };
    const int portWidth = width([](const Unit &u) { return u.port; }, 4);
    const int serialWidth = width([](const Unit &u) { return u.serial; }, 6);
    QStringList table{QStringLiteral("%1  %2  STATUS  REASON")
                          .arg(QStringLiteral("PORT"), -portWidth)
                          .arg(QStringLiteral("SERIAL"), -serialWidth)};
    for (const auto &u : m_units) {
        const QString reason = u->status == kDone ? QString() : u->run->reason();
        passed += u->status == kDone ? 1 : 0;
        results << Event()
                       .text("port", u->port)
                       .text("serial", u->serial)
                       .number("status", u->status)
                       .text("reason", reason);
        table << QStringLiteral("%1  %2  %3  %4")
                     .arg(u->port, -portWidth)
                     .arg(u->serial.isEmpty() ? QStringLiteral("-") : u->serial, -serialWidth)
                     .arg(u->status, -6)
                     .arg(reason.isEmpty() ? QStringLiteral("passed") : reason);
    }
    const int units = int(m_units.size());
    Event e("summary");
    e.number("units", units).number("passed", passed).number("failed", units - passed);
    e.list("results", results);
    table << QStringLiteral("%1 units: %2 passed, %3 failed")
                 .arg(units)
                 .arg(passed)
                 .arg(units - passed);
    e.line = table.join(QLatin1Char('\n'));
    m_out.event(e);
}

} // namespace movra::cli
