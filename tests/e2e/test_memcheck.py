"""One whole polling cycle of the built service under valgrind memcheck: an
answering UDP device, a TCP device that refuses the connection and a UDP
device that never answers. No memory error, no definite leak, and no
descriptor but the three standard ones left open at the stop."""

import re
import signal
import socket
import unittest

from harness import SERVICE, Service, Simulator, closed_tcp_port, log_lines

MEMCHECK = ["valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=full",
            "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite", "--track-fds=yes"]


class Memcheck(unittest.TestCase):
    def test_one_cycle_without_errors(self):
        sim = Simulator("udp:0,total-a=123,scale-a=2,rate-a=-1,unit-a=3,fault-b=1")
        self.addCleanup(sim.stop)
        refused, refused_port = closed_tcp_port()
        self.addCleanup(refused.close)
        silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        silent.bind(("127.0.0.1", 0))
        self.addCleanup(silent.close)
        sites = "1\n1 2 127.0.0.1 %d U\n3 0 127.0.0.1 %d T\n4 0 127.0.0.1 %d U\n" % (
            sim.ports[0], refused_port, silent.getsockname()[1])

        s = Service(sites)
        self.addCleanup(s.kill)
        report = s.path("memcheck.log")
        s.start(terminal=True, argv=MEMCHECK + ["--log-file=" + report, SERVICE])
        # The header and the four rows of the first cycle: every device has
        # been polled, shown and logged once.
        rows = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 5, timeout=60)
        status = s.finish(signal.SIGTERM, timeout=60)
        with open(report) as f:
            text = f.read()

        self.assertEqual(0, status, text)
        self.assertIn("ERROR SUMMARY: 0 errors from 0 contexts", text)
        self.assertTrue("definitely lost: 0 bytes" in text or "no leaks are possible" in text,
                        text)
        # Open at the stop: the three standard descriptors and valgrind's own report.
        self.assertRegex(text, r"FILE DESCRIPTORS: 4 open \(3 std\) at exit")
        self.assertEqual([report], re.findall(r"Open file descriptor \d+: (.*)", text), text)
        # The cycle really went through the decoder and the failure paths.
        self.assertIn(b" , 0001 , 0 , 0 , ", rows)
        self.assertIn(b" , 0003 , 1 , 0 , ", rows)
        self.assertIn(b" , 0004 , 1 , 0 , ", rows)
        self.assertIn(b"TCP Connect() failed", s.console)
        # The figures, for the record.
        print("memcheck: " + "; ".join(re.findall(
            r"(ERROR SUMMARY: [^(\n]*|total heap usage: [^\n]*|FILE DESCRIPTORS: [^\n]*)", text)))


if __name__ == "__main__":
    unittest.main()
