"""Whole polling cycles of the built service against simulated devices:
console and meter.csv byte for byte over two cycles, stale readings, the
log's header, and the time stamp of the rows.

Golden files hold the expected bytes with @PORTn@ for the simulator's ports.
METER_REGEN=1 rewrites them from a run; review the diff before committing.
"""

import os
import unittest

from harness import LOG_HEADER, Service, Simulator, crlf, log_lines, utc

GOLDEN = os.path.join(os.path.dirname(__file__), "golden")
REGEN = os.environ.get("METER_REGEN") == "1"

# name: (period line and device lines with {0}, {1}... for ports, simulator devices, rows a cycle)
CASES = {
    "mixed": (
        "1\n"
        "17 18 127.0.0.1 {0} T\n"
        "  0   22   localhost   {1}   udp\n"
        "0 0 127.0.0.1 {2} U\n"
        "7 -5 127.0.0.1 {3} t\n"
        "12345 0 127.0.0.1 {4} u\n", [
            "tcp:0,total-a=123,rate-a=1500,unit-a=1,grow-a=10,"
            "total-b=4294967295,scale-b=2,rate-b=-1,fault-b=1,unit-b=3",
            "udp:0,total-b=5400,rate-b=12500,unit-b=0,fault-a=2,fault-b=255",
            "udp:0,total-a=99,rate-a=1",
            "tcp:0,total-a=7,scale-a=3,unit-a=200,total-b=1,unit-b=7,fault-a=1",
            "udp:0,total-a=0,scale-a=309,rate-a=-2147483648,total-b=5,scale-b=400",
        ], 6),
    "unit_codes": (
        "1\n"
        "1 2 127.0.0.1 {0} U\n"
        "3 4 127.0.0.1 {1} T\n"
        "5 6 127.0.0.1 {2} U\n"
        "7 8 127.0.0.1 {3} T\n"
        "9 10 127.0.0.1 {4} U\n", [
            "udp:0,unit-a=0,unit-b=1,total-a=1,total-b=2",
            "tcp:0,unit-a=2,unit-b=3,total-a=3,total-b=4",
            "udp:0,unit-a=4,unit-b=5,total-a=5,total-b=6",
            "tcp:0,unit-a=6,unit-b=7,total-a=7,total-b=8",
            "udp:0,unit-a=8,unit-b=255,total-a=9,total-b=10",
        ], 10),
    # Both answer in the first cycle only: the second shows their stale
    # readings with the network fault set.
    "stale": (
        "1\n"
        "31 32 127.0.0.1 {0} T\n"
        "41 0 127.0.0.1 {1} U\n", [
            "tcp:0,total-a=1000,rate-a=2500,total-b=2000,fault-b=1,unit-b=5,mode=silent,after=1",
            "udp:0,total-a=3000,scale-a=1,rate-a=-750,unit-a=6,mode=short,after=1",
        ], 3),
}


def fill(template, ports):
    return template.format(*ports)


def golden_path(name, ext):
    return os.path.join(GOLDEN, name + "." + ext)


def check_golden(test, name, ext, actual, ports):
    path = golden_path(name, ext)
    if REGEN:
        text = actual
        for i, port in enumerate(ports):
            text = text.replace(str(port).encode(), b"@PORT%d@" % i)
        with open(path, "wb") as f:
            f.write(text)
        return
    with open(path, "rb") as f:
        expected = f.read()
    for i, port in enumerate(ports):
        expected = expected.replace(b"@PORT%d@" % i, str(port).encode())
    test.assertEqual(expected, actual, "%s.%s differs" % (name, ext))


class TwoCycles(unittest.TestCase):
    """Period 1 from 08:30:00: two cycles five seconds apart, then a stop."""

    def run_case(self, name):
        sites, devices, rows = CASES[name]
        sim = Simulator(*devices)
        self.addCleanup(sim.stop)
        s = Service(fill(sites, sim.ports), fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 1 + 2 * rows, timeout=60)
        self.assertEqual(0, s.finish())
        check_golden(self, name, "console", s.console, sim.ports)
        check_golden(self, name, "csv", s.read("meter.csv"), sim.ports)

    def test_mixed_transports_and_identifiers(self):
        self.run_case("mixed")

    def test_unit_codes(self):
        self.run_case("unit_codes")

    def test_stale_readings_after_silence_and_a_short_reply(self):
        self.run_case("stale")


class LogFile(unittest.TestCase):
    """An existing log is appended to; a deleted one comes back with a header."""

    ROW = "2026/12/11 , 08:30 , 0005 , 0 , 0 ,          42.000 , GAL ,        0.000\r\n"

    def test_existing_log_gets_no_second_header_and_deleted_log_comes_back(self):
        sim = Simulator("udp:0,total-a=42")
        self.addCleanup(sim.stop)
        s = Service("1\n5 0 127.0.0.1 %d U\n" % sim.ports[0], fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        earlier = LOG_HEADER + crlf("2026/12/10 , 23:45 , 0005 , 1 , 0 ,           0.000 , GAL ,"
                                "        0.000\r\n")
        with open(s.path("meter.csv"), "wb") as f:
            f.write(earlier)
        s.start(terminal=True)
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 3)
        self.assertEqual(earlier + crlf(self.ROW), s.read("meter.csv"))
        os.remove(s.path("meter.csv"))
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 2)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + crlf(self.ROW), s.read("meter.csv"))


class CycleTime(unittest.TestCase):
    """Rows carry the local date and minute of the pass that started the
    cycle, even when the cycle ends after midnight."""

    def run_at(self, tz, expected_stamp):
        # The silent device holds the cycle 5 s, past midnight local time.
        sim = Simulator("udp:0,mode=silent", "tcp:0,total-a=8")
        self.addCleanup(sim.stop)
        s = Service("1\n1 0 127.0.0.1 %d U\n2 0 127.0.0.1 %d T\n" % tuple(sim.ports), tz=tz,
                    fake_utc=utc("2026-12-12 04:59:59"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 3)
        self.assertEqual(0, s.finish())
        self.assertEqual(
            LOG_HEADER + crlf(expected_stamp + " , 0001 , 1 , 0 ,           0.000 , GAL ,        0.000\r\n"
                          + expected_stamp + " , 0002 , 0 , 0 ,           8.000 , GAL ,        0.000\r\n"),
            data)

    def test_new_york_time_before_midnight(self):
        self.run_at("EST5EDT", "2026/12/11 , 23:59")

    def test_utc(self):
        self.run_at("UTC0", "2026/12/12 , 04:59")


@unittest.skipUnless(os.geteuid() == 0, "needs root to give the service its own hosts file")
class HostWithSeveralAddresses(unittest.TestCase):
    """A name with several addresses is polled at the last of them."""

    def test_last_address_is_used_and_printed(self):
        sim = Simulator("--address", "127.0.0.2", "udp:0,total-a=61")
        self.addCleanup(sim.stop)
        s = Service("1\n1 0 meter-multi %d U\n" % sim.ports[0], fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        with open(s.path("hosts"), "w") as f:
            f.write("127.0.0.1 localhost\n127.0.0.3 meter-multi\n127.0.0.2 meter-multi\n")
        own_hosts = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" /etc/hosts && exec "$@"',
                     s.path("hosts")]
        s.start(terminal=True, prefix=own_hosts)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 2)
        self.assertEqual(0, s.finish())
        self.assertIn(crlf("meter-multi resolved to : 127.0.0.2\r\nNetwork Fault : NO\r\n"),
                      s.console)
        self.assertTrue(data.endswith(crlf(" , 0001 , 0 , 0 ,          61.000 , GAL ,        0.000\r\n")))


if __name__ == "__main__":
    unittest.main()
