"""Start-up of the built service: the site-list echo, its errors and exit
statuses, the first cycle's banner, and the stop by signal."""

import signal
import time
import unittest

from harness import (LOG_HEADER, Service, Simulator, closed_tcp_port, crlf, log_lines, run_to_exit,
                     utc)

ECHO_ONE_DEVICE = (
    "Read: 60\nSample Period = 60 Seconds\r\n\n"
    "\r\nRead: 7 -5 127.0.0.1 %d T\nCh.A ID = 7\r\nCh.B ID = -5\r\nhostname = 127.0.0.1\r\n"
    "tcp_udp_port = %d\r\nUse TCP Sockets\r\n\r\nN Quorvanes = 1\r\n"
    "\nInitializing Winsock...Initialized.\r\n\n")


class SiteListErrors(unittest.TestCase):
    """A bad site list ends the service with its message and status 1."""

    CASES = [
        ("missing file", None, "\r\nError: Unable to open file 'sites.txt'\r\n"),
        ("empty file", b"", "\r\nError reading TCP/UDP? from file 'sites.txt'\r\n"),
        ("only the period", b"60\r\n",
         "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nError reading from file 'sites.txt'\r\n"),
        ("bad transport", b"60\n1 2 h 502 X\n",
         "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nRead: 1 2 h 502 X\nCh.A ID = 1\r\n"
         "Ch.B ID = 2\r\nhostname = h\r\ntcp_udp_port = 502\r\n"
         "\r\nError reading TCP/UDP? for Quorvane No. 0 from file 'sites.txt'\r\n"),
        ("missing fields", b"60\n1 0 h 502 U\n\n2 0 h\n",
         "Read: 60\nSample Period = 60 Seconds\r\n\n\r\nRead: 1 0 h 502 U\nCh.A ID = 1\r\n"
         "Ch.B Inactive\r\nhostname = h\r\ntcp_udp_port = 502\r\nUse UDP Sockets\r\n\r\nRead: \n"
         "\r\nRead: 2 0 h\nCh.A ID = 2\r\nCh.B Inactive\r\nhostname = h\n\r\n"
         "\r\nError reading TCP/UDP? for Quorvane No. 1 from file 'sites.txt'\r\n"),
        ("period 0", b"x\n1 2 h 502 T\n",
         "Read: x\nSample Period = 0 Seconds\r\n\n"
         "\r\nError: sample period must not be 0 in file 'sites.txt'\r\n"),
    ]

    def test_message_and_status(self):
        for name, sites, message in self.CASES:
            with self.subTest(name):
                s, status = run_to_exit(sites)
                self.assertEqual(1, status)
                self.assertEqual(crlf(message), s.console)

    def test_more_than_512_devices(self):
        lines = "".join("%d 0 127.0.0.1 %d U\n" % (i + 1, 1000 + i) for i in range(513))
        s, status = run_to_exit("60\n" + lines)
        self.assertEqual(1, status)
        self.assertTrue(s.console.endswith(crlf(
            "\r\nRead: 513 0 127.0.0.1 1512 U\n"
            "\r\nError: more than 512 Quorvanes in file 'sites.txt'\r\n")), s.console[-200:])
        self.assertNotIn(b"Start Polling Cycle", s.console)


class FirstCycle(unittest.TestCase):
    """The echo and the first cycle, byte for byte, on a terminal and a pipe."""

    def expected(self, port):
        return crlf(ECHO_ONE_DEVICE % (port, port)) + crlf(
            ".\r\n\nStart Polling Cycle...\r\n"
            "127.0.0.1 resolved to : 127.0.0.1\r\n"
            "\r\nTCP Connect() failed with error code : 111\r\n"
            "Network Fault : YES\r\nQuorvane 1\r\n"
            "Total Ch.A:           0.000\r\nRate Ch.A:        0.000\r\nFault Ch.A: NO\r\n"
            "Total Ch.B:           0.000\r\nRate Ch.B:        0.000\r\nFault Ch.B: NO\r\n\n")

    def run_first_cycle(self, terminal):
        sock, port = closed_tcp_port()
        self.addCleanup(sock.close)
        # Two idle passes, then the cycle on the minute.
        s = Service("60\n7 -5 127.0.0.1 %d T\n" % port, fake_utc=utc("2026-12-11 11:59:58"))
        self.addCleanup(s.kill)
        s.start(terminal=terminal)
        if terminal:
            s.wait_for(crlf("Initialized.\r\n\n"))
            self.assertEqual(crlf(ECHO_ONE_DEVICE % (port, port)), s.console)
        rows = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 3)
        self.assertEqual(0, s.finish(signal.SIGTERM))
        self.assertEqual(self.expected(port), s.console)
        self.assertEqual(
            LOG_HEADER +
            crlf("2026/12/11 , 12:00 , 0007 , 1 , 0 ,           0.000 , GAL ,        0.000\r\n"
                 "2026/12/11 , 12:00 , -005 , 1 , 0 ,           0.000 , GAL ,        0.000\r\n"),
            rows)

    def test_on_a_terminal(self):
        self.run_first_cycle(terminal=True)

    def test_on_a_pipe_the_output_is_complete_after_the_stop(self):
        self.run_first_cycle(terminal=False)


class Stop(unittest.TestCase):
    """SIGINT and SIGTERM end a pausing service at once, status 0."""

    def test_stop_during_a_pause(self):
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(sig=sig):
                # Period 3600 at 12:00:05: no cycle and no dot for a while.
                s = Service("3600\n1 0 127.0.0.1 1 U\n", fake_utc=utc("2026-12-11 12:00:05"))
                self.addCleanup(s.kill)
                s.start(terminal=True)
                s.wait_for(crlf("Initialized.\r\n\n"))
                started = time.monotonic()
                self.assertEqual(0, s.finish(sig))
                self.assertLess(time.monotonic() - started, 3.0)
                self.assertTrue(s.console.endswith(crlf("Initialized.\r\n\n")))

    def test_stop_during_the_pause_after_a_cycle(self):
        sim = Simulator("udp:0")
        self.addCleanup(sim.stop)
        s = Service("1\n1 0 127.0.0.1 %d U\n" % sim.ports[0])
        self.addCleanup(s.kill)
        s.start(terminal=True)
        s.wait_for(crlf("Fault Ch.B: NO\r\n\n"))
        started = time.monotonic()
        self.assertEqual(0, s.finish(signal.SIGTERM))
        # The cycle's 4 s pause does not run out first.
        self.assertLess(time.monotonic() - started, 2.0)
        self.assertEqual(1, s.console.count(b"Start Polling Cycle"))


if __name__ == "__main__":
    unittest.main()
