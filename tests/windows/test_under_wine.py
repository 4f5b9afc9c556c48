"""The Windows build, meter-service.exe, run under Wine and held to the
Linux build: the same devices give the same console and meter.csv bytes,
apart from the time columns and the platforms' error codes.

Each test runs both builds at once, each in its own folder with its own
simulator serving the same values, so ports are compared by their order.
scripts/test-windows.sh builds both and sets WINEPREFIX and
METER_WINDOWS_DIR.
"""

import os
import re
import select
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import LOG_HEADER, Service, Simulator, closed_tcp_port, log_lines  # noqa: E402

WINDOWS_DIR = os.environ.get(
    "METER_WINDOWS_DIR", os.path.join(os.path.dirname(__file__), "../../build-windows"))
EXE = os.path.abspath(os.path.join(WINDOWS_DIR, "meter-service.exe"))
WINE_ENV = {k: os.environ[k] for k in ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "HOME")
            if k in os.environ}

# A zone without daylight saving and with half an hour in its offset, in the
# POSIX form both C libraries read: UTC+5:30.
ZONE = "XST-5:30"
ZONE_OFFSET = 5 * 3600 + 30 * 60

BANNER = re.compile(rb"\.?\r\r\n\r\nStart Polling Cycle")


def linux(sites, **kwargs):
    return Service(sites, **kwargs)


def windows(sites, **kwargs):
    return Service(sites, env=WINE_ENV, **kwargs)


def start(service, terminal=False):
    if service.extra_env is WINE_ENV:
        return service.start(terminal=terminal, argv=["wine", EXE])
    return service.start(terminal=terminal)


def take_waiting_output(service):
    """Moves what the service's console pipe holds now into its console."""
    fd = service.proc.stdout.fileno()
    data = b""
    while select.select([fd], [], [], 0)[0]:
        chunk = os.read(fd, 65536)
        if not chunk:
            break
        data += chunk
    service.console += data
    return data


def console_of(console, cycles, ports):
    """The console up to the end of the given number of cycles, with the
    dots (they fall on the clock), error codes and ports made neutral."""
    banners = [m.start() for m in BANNER.finditer(console)]
    if len(banners) > cycles:
        console = console[:banners[cycles]]
    console = re.sub(rb"\.(?=\r\r\n\r\nStart Polling Cycle)", b"", console)
    console = re.sub(rb"(gethostbyname failed : |error code : |failed with error: )-?\d+",
                     rb"\1@CODE@", console)
    for i, port in enumerate(ports):
        console = re.sub(rb"\b%d\b" % port, b"@PORT%d@" % i, console)
    return console


def rows_of(log, count):
    """The log's first rows, their date and time columns set apart."""
    lines = log.split(b"\r\r\n")
    rows = [line for line in lines[1:] if line][:count]
    stamps = [row[:18] for row in rows]  # "YYYY/MM/DD , hh:mm"
    return b"\r\r\n".join([lines[0]] + [b"@TIME@" + row[18:] for row in rows]), stamps


def minutes_between(first, last):
    """Date and minute columns of every minute from first to last (epoch
    seconds) in ZONE."""
    stamps = set()
    for t in range(int(first) - 60, int(last) + 120, 30):
        stamps.add(time.strftime("%Y/%m/%d , %H:%M", time.gmtime(t + ZONE_OFFSET)).encode())
    return stamps


class UnderWine(unittest.TestCase):
    def pair(self, sites, devices, **kwargs):
        """The two builds, each with its own simulator of the same devices.
        sites is a template with {0}, {1}... for the simulator's ports."""
        runs = []
        for make in (linux, windows):
            sim = Simulator(*devices)
            self.addCleanup(sim.stop)
            service = make(sites.format(*sim.ports), **kwargs)
            self.addCleanup(service.kill)
            runs.append((service, sim.ports))
        return runs


class Cycles(UnderWine):
    # Cycle 1: every device answers. Cycle 2: the TCP device at {5} falls
    # silent and the UDP one at {6} sends 60 bytes, so both show their stale
    # readings with the network fault; the 5 s wait of each is spent in
    # Winsock's bytes-waiting query and the pause.
    SITES = ("1\n"
             "17 18 127.0.0.1 {0} T\n"
             "  0   22   localhost   {1}   udp\n"
             "0 0 127.0.0.1 {2} U\n"
             "7 -5 127.0.0.1 {3} t\n"
             "12345 0 127.0.0.1 {4} u\n"
             "31 32 127.0.0.1 {5} T\n"
             "41 0 127.0.0.1 {6} U\n"
             "51 0 127.0.0.1 {refused} T\n"
             "61 62 no-such-host..invalid 502 U\n"
             "71 0 127.0.0.1 {7} U\n")
    DEVICES = [
        "tcp:0,total-a=123,rate-a=1500,unit-a=1,total-b=4294967295,scale-b=2,rate-b=-1,"
        "fault-b=1,unit-b=3",
        "udp:0,total-b=5400,rate-b=12500,unit-b=0,fault-a=2,fault-b=255",
        "udp:0,total-a=99,rate-a=1",
        "tcp:0,total-a=7,scale-a=3,unit-a=200,total-b=1,unit-b=7,fault-a=1",
        "udp:0,total-a=0,scale-a=309,rate-a=-2147483648,total-b=5,scale-b=400",
        "tcp:0,total-a=1000,rate-a=2500,total-b=2000,fault-b=1,unit-b=5,mode=silent,after=1",
        "udp:0,total-a=3000,scale-a=1,rate-a=-750,unit-a=6,mode=short,after=1",
        "udp:0,total-a=4000,unit-a=4,rate-a=999",
    ]
    ROWS = 13  # active channels, so rows a cycle

    def two_cycles_logged(self, log):
        return log_lines(log) >= 1 + 2 * self.ROWS

    def test_two_cycles_over_tcp_and_udp_match_the_linux_build(self):
        refused, port = closed_tcp_port()
        self.addCleanup(refused.close)
        sites = self.SITES.replace("{refused}", str(port))
        runs = self.pair(sites, self.DEVICES, tz=ZONE)
        first = time.time()
        for service, _ in runs:
            start(service)
        for service, _ in runs:
            service.wait_for_file("meter.csv", self.two_cycles_logged, timeout=90)
        # Redirected, the console leaves in whole blocks of 4096 bytes.
        early = take_waiting_output(runs[1][0])
        self.assertEqual(0, len(early) % 4096, "%d console bytes before the stop" % len(early))
        for service, _ in runs:
            self.assertEqual(0, service.finish(sig=signal.SIGINT, timeout=60))
        last = time.time()

        (linux_run, linux_ports), (windows_run, windows_ports) = runs
        self.assertEqual(console_of(linux_run.console, 2, linux_ports),
                         console_of(windows_run.console, 2, windows_ports))
        self.assertIn(b"Total Ch.A:            -nan\r\r\n", windows_run.console)
        linux_rows, _ = rows_of(linux_run.read("meter.csv"), 2 * self.ROWS)
        windows_rows, stamps = rows_of(windows_run.read("meter.csv"), 2 * self.ROWS)
        self.assertTrue(windows_rows.startswith(LOG_HEADER))
        self.assertEqual(linux_rows, windows_rows)
        # The rows carry the local time of ZONE, read from TZ.
        self.assertLessEqual(set(stamps), minutes_between(first, last))


class SiteListErrors(UnderWine):
    CASES = {
        "missing": None,
        "bad transport": "60\r\n1 2 h 502 T\r\n3 4 h 502 X\r\n",
        "period 0": "0\n1 2 h 502 T\n",
    }

    def test_message_and_exit_status_1(self):
        for name, sites in self.CASES.items():
            with self.subTest(name):
                runs = [linux(sites), windows(sites)]
                for service in runs:
                    self.addCleanup(service.kill)
                    start(service)
                statuses = [service.finish(sig=None, timeout=60) for service in runs]
                self.assertEqual([1, 1], statuses)
                self.assertEqual(runs[0].console, runs[1].console)
                self.assertIn(b"Error", runs[1].console)


class Stop(UnderWine):
    # The silent device holds the first poll for 5 s; the stop comes in it.
    SITES = "1\n1 0 127.0.0.1 {0} U\n2 0 127.0.0.1 {1} U\n"
    DEVICES = ["udp:0,mode=silent", "udp:0,total-a=5"]

    def in_first_poll(self, runs):
        for service, _ in runs:
            start(service)
        for service, _ in runs:
            # The log is created right before the first poll.
            service.wait_for_file("meter.csv", lambda d: True, timeout=60)

    def test_ctrl_c_finishes_the_device_in_hand_then_exits_0(self):
        runs = self.pair(self.SITES, self.DEVICES)
        self.in_first_poll(runs)
        for service, _ in runs:
            service.send(signal.SIGINT)
        for service, _ in runs:
            self.assertEqual(0, service.finish(sig=None, timeout=60))
        (linux_run, linux_ports), (windows_run, windows_ports) = runs
        console = console_of(windows_run.console, 1, windows_ports)
        self.assertEqual(console_of(linux_run.console, 1, linux_ports), console)
        self.assertTrue(console.endswith(b"Network Fault : YES\r\r\nQuorvane 1\r\r\n"
                                         b"Total Ch.A:           0.000\r\r\n"
                                         b"Rate Ch.A:        0.000\r\r\nFault Ch.A: NO\r\r\n"
                                         b"Total Ch.B:           0.000\r\r\n"
                                         b"Rate Ch.B:        0.000\r\r\nFault Ch.B: NO\r\r\n\r\n"),
                        console[-400:])
        rows, _ = rows_of(windows_run.read("meter.csv"), 2)
        self.assertEqual(LOG_HEADER + b"@TIME@ , 0001 , 1 , 0 ,           0.000 , GAL ,        0.000",
                         rows)
        self.assertEqual(LOG_HEADER + b"@TIME@ , 0001 , 1 , 0 ,           0.000 , GAL ,        0.000",
                         rows_of(linux_run.read("meter.csv"), 2)[0])

    def test_second_ctrl_c_ends_it_at_once_with_status_1(self):
        runs = self.pair(self.SITES, self.DEVICES)
        self.in_first_poll(runs)
        sent = time.monotonic()
        # Repeated, so that two requests arrive even if the system merges
        # signals sent close together.
        while any(service.proc.poll() is None for service, _ in runs):
            self.assertLess(time.monotonic() - sent, 4.0, "still running inside the 5 s poll")
            for service, _ in runs:
                if service.proc.poll() is None:
                    service.send(signal.SIGINT)
            time.sleep(0.1)
        for service, _ in runs:
            self.assertEqual(1, service.finish(sig=None))
            self.assertNotIn(b"0001", service.read("meter.csv"))


class Terminal(UnderWine):
    def test_on_a_console_every_print_shows_at_once(self):
        sim = Simulator("tcp:0,total-a=1")
        self.addCleanup(sim.stop)
        service = windows("1\n1 0 127.0.0.1 %d T\n" % sim.ports[0])
        self.addCleanup(service.kill)
        start(service, terminal=True)
        # Far less than 4096 bytes, shown while the service runs.
        service.wait_for(b"Quorvane 1", timeout=60)
        self.assertIsNone(service.proc.poll())
        self.assertEqual(0, service.finish(sig=signal.SIGINT, timeout=60))


if __name__ == "__main__":
    # One line of counts for scripts/test-windows.sh; a test whose subtests
    # fail counts once.
    result = unittest.main(exit=False, verbosity=2).result
    failed = {getattr(test, "test_case", test).id() for test, _ in result.failures + result.errors}
    passed = result.testsRun - len(failed) - len(result.skipped)
    print("service under wine: %d passed, %d failed" % (passed, len(failed)))
    sys.exit(1 if failed or passed == 0 else 0)
