"""Faults while the service runs: devices that die and come back, a
connection attempt nobody answers, a log that cannot be written, a full
table, hostile site lists, and stops in the middle of a cycle.

Cases that need root (a network namespace of their own, or running the
service as an ordinary user so that file permissions apply) are skipped
without it.
"""

import os
import random
import re
import shutil
import signal
import subprocess
import time
import unittest
import uuid

from harness import LOG_HEADER, SERVICE, Service, Simulator, crlf, log_lines, utc

ROW = re.compile(rb"\d{4}/\d\d/\d\d , \d\d:\d\d , -?\d{4,} , [01] , [01] , +[-0-9.a-z]+ , "
                 rb"[A-Z_]+ , +-?[0-9.]+\r\r\n")
IS_ROOT = os.geteuid() == 0
AS_NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def row(minute, meter_id, network_fault, total, fault=0, unit="GAL", rate=0.0):
    return crlf("2026/12/11 , 08:%02d , %04d , %d , %d , %15.3f , %s , %12.3f\r\n" %
                (minute, meter_id, network_fault, fault, total, unit, rate))


class NetworkNamespace:
    """A private network namespace with only its loopback up: nothing run in
    it can reach any other host."""

    def __init__(self):
        self.name = "meter-test-" + uuid.uuid4().hex[:8]
        subprocess.run(["ip", "netns", "add", self.name], check=True)
        self.run("ip", "link", "set", "lo", "up")

    def prefix(self):
        return ["ip", "netns", "exec", self.name]

    def run(self, *cmd):
        subprocess.run(self.prefix() + list(cmd), check=True)

    def remove(self):
        subprocess.run(["ip", "netns", "del", self.name], check=False)


class DeviceComesAndGoes(unittest.TestCase):
    def test_killed_device_shows_the_fault_then_its_values_again(self):
        restartable = Simulator("tcp:0,total-a=100,grow-a=1")
        port = restartable.ports[0]
        steady = Simulator("udp:0,total-a=500,grow-a=5")
        self.addCleanup(steady.stop)
        s = Service("1\n1 0 127.0.0.1 %d T\n2 0 127.0.0.1 %d U\n" % (port, steady.ports[0]),
                    fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 3)
        restartable.proc.kill()
        restartable.stop()
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 5)
        restartable = Simulator("tcp:%d,total-a=200" % port)
        self.addCleanup(restartable.stop)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 7)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + row(30, 1, 0, 100) + row(30, 2, 0, 500) +
                         row(30, 1, 1, 100) + row(30, 2, 0, 505) +
                         row(30, 1, 0, 200) + row(30, 2, 0, 510), data)
        self.assertEqual(1, s.console.count(
            crlf("\r\nTCP Connect() failed with error code : 111\r\n")))


@unittest.skipUnless(IS_ROOT, "needs root for a network namespace")
class ConnectNeverAnswered(unittest.TestCase):
    def test_cycle_goes_on_after_the_connect_time_out(self):
        ns = NetworkNamespace()
        self.addCleanup(ns.remove)
        dropped = 5020
        ns.run("iptables", "-A", "INPUT", "-p", "tcp", "--dport", str(dropped), "-j", "DROP")
        sim = Simulator("udp:0,total-a=77", prefix=ns.prefix())
        self.addCleanup(sim.stop)
        s = Service("1\n1 0 127.0.0.1 %d T\n2 0 127.0.0.1 %d U\n" % (dropped, sim.ports[0]),
                    fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True, prefix=ns.prefix())
        s.wait_for(b"Start Polling Cycle")
        started = time.monotonic()
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 3, timeout=20)
        waited = time.monotonic() - started
        self.assertEqual(0, s.finish())
        self.assertIn(crlf("\r\nTCP Connect() failed with error code : 110\r\n"), s.console)
        self.assertEqual(LOG_HEADER + row(30, 1, 1, 0) + row(30, 2, 0, 77), data)
        # Bounded at 5 s, not the kernel's two minutes.
        self.assertGreater(waited, 4.5)
        self.assertLess(waited, 15)


@unittest.skipUnless(IS_ROOT, "needs root to run the service as an ordinary user")
class LogCannotBeWritten(unittest.TestCase):
    """As an ordinary user: the cycle reports the log once, shows every
    device, writes no rows; the next cycle writes its rows again."""

    ERROR = crlf("\r\n\nStart Polling Cycle...\r\n\r\nError: Unable to open file 'meter.csv'\r\n"
                 "127.0.0.1 resolved to : 127.0.0.1\r\nNetwork Fault : NO\r\nQuorvane 1\r\n")

    def start(self):
        sim = Simulator("udp:0,total-a=9")
        self.addCleanup(sim.stop)
        s = Service("1\n3 0 127.0.0.1 %d U\n" % sim.ports[0], fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        os.chmod(s.dir, 0o777)
        # A copy the ordinary user can run wherever the build folder lies.
        self.service = os.path.join(s.dir, "meter-service")
        shutil.copy(SERVICE, self.service)
        return s

    def test_read_only_file(self):
        s = self.start()
        with open(s.path("meter.csv"), "wb") as f:
            f.write(LOG_HEADER)
        os.chmod(s.path("meter.csv"), 0o444)
        s.start(terminal=True, argv=[self.service], prefix=AS_NOBODY)
        s.wait_for(crlf("Fault Ch.B: NO\r\n\n"))
        self.assertIn(self.ERROR, s.console)
        os.chmod(s.path("meter.csv"), 0o666)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 2)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + row(30, 3, 0, 9), data)

    def test_read_only_folder(self):
        s = self.start()
        os.chmod(s.dir, 0o555)
        s.start(terminal=True, argv=[self.service], prefix=AS_NOBODY)
        s.wait_for(crlf("Fault Ch.B: NO\r\n\n"))
        self.assertIn(self.ERROR, s.console)
        self.assertFalse(os.path.exists(s.path("meter.csv")))
        os.chmod(s.dir, 0o777)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 2)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + row(30, 3, 0, 9), data)


class LogSharedWithOthers(unittest.TestCase):
    def test_rows_follow_what_another_program_appended(self):
        sim = Simulator("udp:0,total-a=9")
        self.addCleanup(sim.stop)
        s = Service("1\n3 0 127.0.0.1 %d U\n" % sim.ports[0], fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 2)
        with open(s.path("meter.csv"), "ab") as f:
            f.write(b"copied by the billing job\r\r\n")
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 4)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + row(30, 3, 0, 9) + b"copied by the billing job\r\r\n" +
                         row(30, 3, 0, 9), data)


class FullTable(unittest.TestCase):
    def test_512_devices_in_one_cycle_in_order(self):
        # 512 consecutive free UDP ports, served by one simulator.
        for attempt in range(20):
            first = random.randrange(20000, 60000 - 512)
            try:
                sim = Simulator("udp:%d-%d,total-a=42,rate-a=-250" % (first, first + 511))
                break
            except AssertionError:
                continue
        else:
            self.fail("no free range of 512 ports")
        self.addCleanup(sim.stop)
        sites = "1\n" + "".join("%d 0 127.0.0.1 %d U\n" % (i + 1, first + i) for i in range(512))
        s = Service(sites, fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 513, timeout=120)
        self.assertEqual(0, s.finish())
        self.assertEqual(LOG_HEADER + b"".join(row(30, i + 1, 0, 42, rate=-0.25) for i in range(512)),
                         data)
        self.assertIn(crlf("Network Fault : NO\r\nQuorvane 512\r\n"), s.console)


ERRORS = [crlf(m) for m in (
    "\r\nError: Unable to open file 'sites.txt'\r\n",
    "\r\nError reading TCP/UDP? from file 'sites.txt'\r\n",
    "\r\nError reading from file 'sites.txt'\r\n",
    "\r\nError: sample period must not be 0 in file 'sites.txt'\r\n",
    "\r\nError: more than 512 Quorvanes in file 'sites.txt'\r\n",
)]
BAD_DEVICE = re.compile(rb"\r\r\nError reading TCP/UDP\? for Quorvane No\. \d+ from file "
                        rb"'sites.txt'\r\r\n$")


def hostile_lists():
    rng = random.Random(20261211)
    alphabet = b"0123456789    --++TtUuXx\t\t\r\n\n\n\x1a\x00\xff.abc"
    cases = [
        ("255-character host name", b"60\n1 2 " + b"h" * 255 + b" 502 T\n"),
        ("longest host name that fits", b"60\n1 2 " + b"h" * 245 + b" 502 T\n"),
        ("lines of only tabs", b"60\n\t\t\t\n1 0 127.0.0.1 1 U\n\t\n"),
        ("no final line feed", b"60\n1 0 127.0.0.1 1 U"),
        ("40-digit numbers", b"9" * 40 + b"\n" + b"-" + b"9" * 40 + b" " + b"9" * 40 +
         b" 127.0.0.1 " + b"9" * 40 + b" U\n"),
        ("NUL bytes", b"60\n1 0 127.0.0.1\x00 1 U\n\x00\x00\n"),
    ]
    for i in range(40):
        size = rng.randrange(0, 700)
        if i % 2:
            data = bytes(rng.randrange(256) for _ in range(size))
        else:
            data = bytes(rng.choice(alphabet) for _ in range(size))
        cases.append(("random %d" % i, data))
    return cases


@unittest.skipUnless(IS_ROOT, "needs root: host names from random bytes must not reach a resolver")
class HostileSiteLists(unittest.TestCase):
    """Any bytes as sites.txt: the service refuses them with one of its
    messages and status 1, or loads them and runs until stopped."""

    def test_never_crashes(self):
        ns = NetworkNamespace()
        self.addCleanup(ns.remove)
        for name, data in hostile_lists():
            with self.subTest(name):
                # Noon plus five seconds: a period of 1 or 2 starts a cycle at
                # once, others wait; either way the stop ends it.
                s = Service(data, fake_utc=utc("2026-12-11 12:00:05"))
                self.addCleanup(s.kill)
                s.start(terminal=True, prefix=ns.prefix())
                deadline = time.monotonic() + 20
                while (s.proc.poll() is None and b"Initialized." not in s.console
                       and time.monotonic() < deadline):
                    s.read_terminal(0.1)
                status = s.finish(signal.SIGTERM)
                if b"Initialized." in s.console:
                    self.assertEqual(0, status, s.console[-500:])
                    self.assertRegex(s.console, rb"N Quorvanes = \d+\r\r\n")
                else:
                    self.assertEqual(1, status, s.console[-500:])
                    self.assertTrue(any(s.console.endswith(e) for e in ERRORS)
                                    or BAD_DEVICE.search(s.console), s.console[-500:])
                if os.path.exists(s.path("meter.csv")):
                    data = s.read("meter.csv")
                    self.assertTrue(data.startswith(LOG_HEADER))
                    for line in data[len(LOG_HEADER):].split(b"\r\r\n")[:-1]:
                        self.assertTrue(ROW.fullmatch(line + b"\r\r\n"), line)


class StopInTheMiddleOfACycle(unittest.TestCase):
    """A stop during a poll ends the service after that device's status
    block and rows: the log holds only whole rows."""

    def run_stop(self, sig, second_sig):
        sim = Simulator("udp:0,mode=silent", "udp:0,total-a=5")
        self.addCleanup(sim.stop)
        s = Service("1\n1 0 127.0.0.1 %d U\n2 0 127.0.0.1 %d U\n" % tuple(sim.ports),
                    fake_utc=utc("2026-12-11 08:30:00"))
        self.addCleanup(s.kill)
        s.start(terminal=True)
        s.wait_for(b"resolved to")
        s.sent = time.monotonic()
        s.send(sig)
        if second_sig:
            time.sleep(0.2)
            s.send(second_sig)
        status = s.finish(None)
        return s, status

    def test_stop_finishes_the_device_in_hand(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(sig=sig):
                s, status = self.run_stop(sig, None)
                self.assertEqual(0, status)
                self.assertEqual(LOG_HEADER + row(30, 1, 1, 0), s.read("meter.csv"))
                self.assertTrue(s.console.endswith(crlf("Quorvane 1\r\n" + "Total Ch.A:           0.000\r\n"
                                                        "Rate Ch.A:        0.000\r\nFault Ch.A: NO\r\n"
                                                        "Total Ch.B:           0.000\r\n"
                                                        "Rate Ch.B:        0.000\r\nFault Ch.B: NO\r\n\n")))
                self.assertNotIn(b"Quorvane 2", s.console)

    def test_second_stop_ends_at_once(self):
        s, status = self.run_stop(signal.SIGTERM, signal.SIGTERM)
        self.assertEqual(1, status)
        # Well before the silent device's 5 s wait is over.
        self.assertLess(time.monotonic() - s.sent, 4.0)
        self.assertEqual(LOG_HEADER, s.read("meter.csv"))


if __name__ == "__main__":
    unittest.main()
