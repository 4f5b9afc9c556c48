"""A long run: 100 cycles in a row must not grow the service's open file
descriptors or its resident memory. The clock and every pause run twenty
times faster, so the run takes about a minute instead of nine.

The figures are printed; METER_FIGURES=path also appends them to a file."""

import os
import unittest

from harness import Service, Simulator, log_lines, utc

CYCLES = 100
DEVICES = ["tcp:0,total-a=10,grow-a=1", "udp:0,total-a=20,grow-a=2", "tcp:0,rate-a=5",
           "udp:0,unit-a=3", "udp:0,mode=silent"]


def open_descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


class LongRun(unittest.TestCase):
    def test_100_cycles_without_growth(self):
        sim = Simulator(*DEVICES)
        self.addCleanup(sim.stop)
        sites = "1\n" + "".join("%d 0 127.0.0.1 %d %s\n" % (i + 1, port, DEVICES[i][0].upper())
                                for i, port in enumerate(sim.ports))
        s = Service(sites, fake_utc=utc("2026-12-11 08:00:00"), rate=20)
        self.addCleanup(s.kill)
        s.start(terminal=True)  # read as it comes, so the console never blocks
        pid = s.proc.pid
        rows = len(DEVICES)

        # Sampled in the pause after a cycle, when no socket or log is open.
        s.wait_for_file("meter.csv", lambda d: log_lines(d) == 1 + rows)
        first = (open_descriptors(pid), resident_kib(pid))
        data = s.wait_for_file("meter.csv", lambda d: log_lines(d) == 1 + CYCLES * rows,
                               timeout=600)
        last = (open_descriptors(pid), resident_kib(pid))
        self.assertEqual(0, s.finish())

        figures = ("cycle 1: %d descriptors, %d KiB resident; cycle %d: %d descriptors, "
                   "%d KiB resident" % (first + (CYCLES,) + last))
        print(figures)
        if os.environ.get("METER_FIGURES"):
            with open(os.environ["METER_FIGURES"], "a") as f:
                f.write(figures + "\n")
        self.assertEqual(first[0], last[0])
        self.assertLess(last[1] - first[1], 256)
        # Every cycle wrote every row, the silent device's with its fault set.
        self.assertEqual(CYCLES, data.count(b" , 0005 , 1 , 0 , "))
        self.assertEqual(CYCLES, data.count(b" , 0001 , 0 , 0 , "))


if __name__ == "__main__":
    unittest.main()
