#include "cli/Commands.h"

namespace movra::cli {

const char *usageText()
{
    return R"(movra [options] COMMAND [arguments]
movra --port A --port B [--port C ...] [--serial SN_A --serial SN_B ...] [options] COMMAND ...

Options (before or after COMMAND):
  --port NAME          serial port: a name as `movra ports` lists it, or a device path;
                       default: the port remembered in Setting.ini. Up to 32 times: a
                       fixture, one unit a port, the command on all of them at once
  --serial SN          the unit's serial number as on its label, carried in its events
                       and records; with several ports, once per --port in their order
  --baud RATE|auto     2400 4800 9600 19200 38400 57600 115200, or auto (try the seven);
                       default: the rate remembered in Setting.ini, else 9600
  --station N          station address for readings, 1-254; default 1
  --test-mode PASSWORD connect in test mode (the window's passwords); the environment
                       variable MOVRA_TEST_PASSWORD serves too, so that it stays out of
                       the process list
  --json               one JSON object per line on stdout instead of text
  --no-records         do not store records (stored by default, as the window does)
  --db PATH|URL        record store; default: the window's
  --timeout MS         per-request time-out; default: derived from the baud rate
  --operator TEXT      who runs the command
  --reference ID       the reference instrument
  --reference-due YYYY-MM-DD
                       the day that instrument's calibration runs out; check and
                       calibrate refuse a date in the past (status 2) unless
  --allow-expired-reference
                       is given, and then every record of the run says so

Commands:
  ports                           list the serial ports (and MOVRA_EXTRA_PORTS)
  identify                        connect: print the baud rate, the station address when
                                  learned, and the identification text
  read [--count N] [--interval S] temperature and humidity from --station;
                                  default: 1 reading; --count 0 = until interrupted
  params                          read the five parameters
  write [--new-station N] [--new-baud RATE] [--temp-offset C] [--humi-offset P]
        [--order hardware|humidity-first|temperature-first]
                                  write the given parameters, each confirmed by the device's
                                  echo (a confirmed new baud rate is followed by the restart
                                  request), then read them back and compare
  check --temp REF:TOL [--humi REF:TOL] [--count N] [--interval S]
                                  read and judge as the window's qualification check does;
                                  passes only if every reading passes
  calibrate [--temp REF] [--humi REF] [--samples N] [--interval S]
            [--settle S] [--max-wait S] [--tol-temp T] [--tol-humi T] [--dry-run]
                                  read the parameters, wait until the readings span no
                                  more than the [trend] bands of Station.ini over the last
                                  --settle seconds (default 60, 0: no wait, at most
                                  --max-wait, default 600), take --samples readings
                                  (default 5, every --interval, default 1 s), write the
                                  corrections that bring their mean to the reference,
                                  read them back and verify: every reading of the
                                  verification within --tol-temp (default 0.2) and
                                  --tol-humi (default 1.0); --dry-run writes nothing
  records export [--since DATE] [--until DATE] [--serial SN] [--format csv|json]
                 [--station NAME]
                                  the records kept, read-only; with --serial: that unit's
                                  history across commands and stations; with --db
                                  postgresql://... those of the central database, every
                                  station's or those of station NAME

Several ports (a fixture):
  Each unit runs on its own (--baud auto scans each port apart); a silent or lost
  unit ends alone, after its own time-outs. Every event carries "port", and
  "serial" when given; text lines start with the port. After the last unit one
  "summary" event: "units", "passed", "failed" and "results", one object a unit
  with "port", "serial", "status" (its exit status as if alone) and "reason"
  (empty when it passed); as text, a table with one line a unit. The exit status
  is the highest of the units' (0 when all passed). Ctrl+C or SIGTERM stops
  every unit, records kept, with 130 or 143.

Exit status:
  0  done, every check passed (calibrate: calibrated and verified, or the dry run computed)
  1  a check failed, or a read-back differs from what was written; calibrate: not stable,
     a correction out of range, a read-back differs, or the verification failed
  2  usage: unknown command or option, missing or out-of-range value, an expired reference
  3  the device: no answer, or no usable answer (time-out, bad CRC, exception)
  4  the port: cannot be opened, or lost while in use
  5  the record store could not keep, or could not give, the records
)";
}

} // namespace movra::cli
