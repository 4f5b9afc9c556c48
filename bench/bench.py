"""Speed and cost of the service, measured against the simulator on 127.0.0.1.

Usage: bench.py [--build-dir DIR] [--smoke] [--idle-seconds N]
                [--silent-cycles N] [--out FILE]

Prints a table of medians and 99th percentiles (nearest rank), each beside
the floor that the waiting design sets (one 10 ms wait step for a device
that answers, 500 of them for a silent one) and the target, and the same
read made by common Modbus clients. --smoke measures a few of everything
and judges nothing: it only shows that the benchmark still works. Exits 0
when everything was measured (and, in a full run, every target met), 3
when a target was missed, 1 when a measurement failed.
"""

import argparse
import datetime
import math
import os
import platform
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))

STEP_S = 0.010  # one wait step
BUDGET = 500  # wait steps of a silent device
BANNER = b"Start Polling Cycle..."
BLOCK_END = b"Fault Ch.B: "  # the last line of a status block
FAULT_YES = b"Network Fault : YES"


def percentile(values, p):
    """Nearest-rank percentile."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100.0 * len(ordered)) - 1)]


def timings(text):
    """[(seconds, fault)] from a poll timer's lines: microseconds, then 0 or 1."""
    words = text.split()
    return [(int(words[i]) / 1e6, int(words[i + 1])) for i in range(0, len(words), 2)]


def run_timer(cmd, stream="stderr"):
    """Runs a poll timer to its end; returns its timings."""
    proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=900, check=False)
    if proc.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], proc.stderr.strip()))
    return timings(proc.stderr if stream == "stderr" else proc.stdout)


def run_timers_parallel(cmds):
    """Runs poll timers side by side; returns all their timings."""
    procs = [subprocess.Popen(c, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True) for c in cmds]
    results = []
    for p in procs:
        _, err = p.communicate(timeout=900)
        if p.returncode != 0:
            raise RuntimeError("poll timer failed: " + err.strip())
        results += timings(err)
    return results


def expect_faults(samples, fault, what):
    wrong = sum(1 for _, f in samples if f != fault)
    if wrong:
        raise RuntimeError("%s: %d of %d polls ended with network fault %d" %
                           (what, wrong, len(samples), 1 - fault))
    return [t for t, _ in samples]


def cpu_seconds(pid):
    """Time the process has spent on a CPU, user and system."""
    try:
        with open("/proc/%d/schedstat" % pid) as f:
            return int(f.read().split()[0]) / 1e9
    except OSError:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise RuntimeError("no VmHWM for %d" % pid)


def site_list(period, devices):
    """devices: [(proto, port)]; channel identifiers 1 and 2 on every device."""
    lines = ["%d" % period]
    lines += ["1 2 127.0.0.1 %d %s" % (port, "T" if proto == "tcp" else "U")
              for proto, port in devices]
    return "\n".join(lines) + "\n"


class CycleWatch:
    """Follows a service's terminal, noting when each cycle starts and when
    each status block ends, with the service's CPU time at both."""

    def __init__(self, service):
        self.service = service
        self.pos = 0
        self.banners = []  # (time, cpu)
        self.blocks = []  # (time, cpu, network fault)

    def _scan(self, now):
        console = self.service.console
        while True:
            b = console.find(BANNER, self.pos)
            e = console.find(BLOCK_END, self.pos)
            if e >= 0 and console.find(b"\n", e) < 0:
                e = -1  # the block's last line is not complete yet
            if b < 0 and e < 0:
                return
            cpu = cpu_seconds(self.service.proc.pid)
            if b >= 0 and (e < 0 or b < e):
                self.banners.append((now, cpu))
                self.pos = b + len(BANNER)
            else:
                start = console.rfind(b"Network Fault : ", 0, e)
                fault = console.startswith(FAULT_YES, start)
                self.blocks.append((now, cpu, fault))
                self.pos = console.find(b"\n", e) + 1

    def until_blocks(self, count, timeout):
        deadline = time.monotonic() + timeout
        while len(self.blocks) < count:
            left = deadline - time.monotonic()
            if left <= 0 or not self.service.read_terminal(left):
                raise RuntimeError("only %d of %d status blocks within %.0f s" %
                                   (len(self.blocks), count, timeout))
            self._scan(time.monotonic())


def measure_cycles(harness, devices, cycles, silent_every=0):
    """Runs the service (period 1: cycles back to back) over the given
    devices; returns (durations, cpu per cycle, per-device times, faults,
    peak KiB)."""
    sim_args = []
    for i, proto in enumerate(devices):
        silent = silent_every and i % silent_every == 0
        sim_args.append("%s:0%s" % (proto, ",mode=silent" if silent else ""))
    sim = harness.Simulator(*sim_args)
    service = harness.Service(site_list(1, zip(devices, sim.ports)))
    try:
        service.start(terminal=True)
        watch = CycleWatch(service)
        n = len(devices)
        silent = (n + silent_every - 1) // silent_every if silent_every else 0
        budget = 60 + cycles * (n * 0.05 + silent * 11 + 10)
        watch.until_blocks(n * cycles, budget)
        peak = peak_resident_kib(service.proc.pid)
        durations, cpus, per_device, faults = [], [], [], []
        for k in range(cycles):
            start_t, start_cpu = watch.banners[k]
            blocks = watch.blocks[k * n:(k + 1) * n]
            durations.append(blocks[-1][0] - start_t)
            cpus.append(blocks[-1][1] - start_cpu)
            previous = start_t
            for t, _, fault in blocks:
                per_device.append((t - previous, fault))
                previous = t
            faults.append(sum(1 for b in blocks if b[2]))
        status = service.finish()
        if status != 0:
            raise RuntimeError("the service ended with status %d" % status)
        return durations, cpus, per_device, faults, peak
    finally:
        service.kill()
        sim.stop()


def measure_start(harness, port, runs):
    """Seconds from starting the service to its first banner on the terminal."""
    times = []
    for _ in range(runs):
        service = harness.Service(site_list(1, [("udp", port)]))
        try:
            start = time.monotonic()
            service.start(terminal=True)
            service.wait_for(BANNER, timeout=30)
            times.append(time.monotonic() - start)
            service.finish()
        finally:
            service.kill()
    return times


class IdleWatch(threading.Thread):
    """An idle service (its only window at midnight, UTC) and its CPU time
    over a span, measured in the background."""

    def __init__(self, harness, port, seconds):
        super().__init__(daemon=True)
        self.harness, self.port, self.seconds = harness, port, seconds
        self.result = None
        self.error = None

    def run(self):
        try:
            now = time.time() % 86400
            if now + self.seconds + 10 > 86400:  # keep the midnight cycle out of it
                time.sleep(86400 - now + 3)
            service = self.harness.Service(site_list(86400, [("udp", self.port)]))
            try:
                service.start(terminal=True)
                time.sleep(2)  # start-up is measured on its own
                pid = service.proc.pid
                t0, c0 = time.monotonic(), cpu_seconds(pid)
                time.sleep(self.seconds)
                t1, c1 = time.monotonic(), cpu_seconds(pid)
                if service.finish() != 0:
                    raise RuntimeError("the idle service did not stop cleanly")
                self.result = (c1 - c0) / (t1 - t0)
            finally:
                service.kill()
        except Exception as e:  # reported by the main thread
            self.error = e


class Table:
    def __init__(self, judge):
        self.judge = judge
        self.rows = []
        self.missed = []

    def add(self, what, values, unit, floor=None, target=None, note=""):
        """values in seconds (unit 'ms' or 's'), KiB ('KiB') or fractions ('%')."""
        med = statistics.median(values) if values else None
        p99 = percentile(values, 99) if values else None
        verdict = ""
        if target is not None and med is not None:
            if not self.judge:
                verdict = "-"
            elif med <= target:
                verdict = "ok"
            else:
                verdict = "MISSED"
                self.missed.append(what)
        self.rows.append((what, len(values), med, p99, floor, target, unit, verdict, note))
        return med

    @staticmethod
    def fmt(value, unit):
        if value is None:
            return "-"
        if unit == "ms":
            return "%.3f ms" % (value * 1e3)
        if unit == "s":
            return "%.3f s" % value
        if unit == "%":
            return "%.4f %%" % (value * 100)
        return "%d KiB" % value

    def text(self):
        head = ("measure", "n", "median", "p99", "floor", "target", "")
        lines = []
        body = [(w, str(n), self.fmt(m, u), self.fmt(p, u), self.fmt(f, u),
                 "<= " + self.fmt(t, u) if t is not None else "-", v)
                for w, n, m, p, f, t, u, v, _ in self.rows]
        widths = [max(len(r[i]) for r in [head] + body) for i in range(len(head))]
        for r in [head] + body:
            cells = [r[0].ljust(widths[0])] + [r[i].rjust(widths[i]) for i in range(1, 6)] + [r[6]]
            lines.append("  ".join(cells).rstrip())
            if r is head:
                lines.append("-" * len(lines[0]))
        notes = [(w, n) for w, _, _, _, _, _, _, _, n in self.rows if n]
        if notes:
            lines.append("")
            lines += ["%s: %s" % (w.strip(), n) for w, n in notes]
        return "\n".join(lines)


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%s, %d cores, Linux %s" % (model, os.cpu_count(), platform.release())


def ratio(a, b, digits=1):
    return "%.*f x" % (digits, a / b) if a and b else "-"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build-dir", default=os.path.join(HERE, "../build-bench"))
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("--idle-seconds", type=float, default=180)
    parser.add_argument("--silent-cycles", type=int, default=1)
    parser.add_argument("--out")
    args = parser.parse_args()

    build = os.path.abspath(args.build_dir)
    os.environ["METER_BUILD_DIR"] = build
    sys.path.insert(0, os.path.join(HERE, "../tests/e2e"))
    import harness  # noqa: E402  (reads METER_BUILD_DIR)

    smoke = args.smoke
    polls = 10 if smoke else 200
    silent_runs = (1, 1) if smoke else (4, 2)  # processes, polls each
    starts = 3 if smoke else 20
    cycle_devices = 16 if smoke else 512
    cycles = 1 if smoke else 3
    silent_cycle_devices = 10 if smoke else 512
    idle_seconds = 3 if smoke else args.idle_seconds

    timer = os.path.join(build, "meter-poll-timer")
    modbus_timer = os.path.join(build, "modbus-poll-timer")
    pymodbus_timer = ["/usr/bin/python3", os.path.join(HERE, "pymodbus_poll_timer.py")]
    table = Table(judge=not smoke)
    started = datetime.datetime.now(datetime.timezone.utc)

    sim = harness.Simulator("tcp:0", "udp:0", "tcp:0,mode=silent", "udp:0,mode=silent")
    tcp_port, udp_port, silent_tcp, silent_udp = sim.ports
    idle = IdleWatch(harness, udp_port, idle_seconds)
    idle.start()
    try:
        # One poll of a device that answers at once.
        service_poll = {}
        for proto, port in (("udp", udp_port), ("tcp", tcp_port)):
            samples = expect_faults(run_timer([timer, proto, str(port), str(polls)]), 0,
                                    proto + " polls")
            stepped = [t for t in samples if t >= STEP_S / 2]
            first = len(samples) - len(stepped)
            service_poll[proto] = table.add(
                "poll, %s, answering at once" % proto.upper(), samples, "ms", STEP_S, 0.0103,
                "%d of %d replies were already waiting at the first check (the simulator "
                "answers within microseconds); the rest took one wait step" % (first, len(samples)))
            table.add("  of which after one wait step", stepped, "ms", STEP_S, 0.0103)
        client = {}
        if os.path.exists(modbus_timer):
            client["libmodbus"] = table.add(
                "libmodbus, TCP, same read", expect_faults(
                    run_timer([modbus_timer, str(tcp_port), str(polls)]), 0, "libmodbus reads"),
                "ms", note="a new connection per read, as the service makes it")
        mbpoll_times = []
        if os.path.exists("/usr/bin/mbpoll"):
            for _ in range(polls // 4 or 1):
                start = time.monotonic()
                done = subprocess.run(["/usr/bin/mbpoll", "-m", "tcp", "-a", "1", "-r", "1", "-c",
                                       "26", "-t", "4", "-1", "-q", "-p", str(tcp_port),
                                       "127.0.0.1"], stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL, check=False)
                mbpoll_times.append(time.monotonic() - start)
                if done.returncode != 0:
                    raise RuntimeError("mbpoll failed with status %d" % done.returncode)
            client["mbpoll"] = table.add("mbpoll, TCP, one run of the command", mbpoll_times,
                                         "ms", note="a whole process per read, start-up included")
        pymodbus = run_timer(pymodbus_timer + [str(udp_port), str(polls)], stream="stdout")
        client["pymodbus"] = table.add(
            "pymodbus, UDP, same read", expect_faults(pymodbus, 0, "pymodbus reads"), "ms",
            note="a new socket per read, as the service makes it")

        # One poll of a silent device, several at once.
        procs, each = silent_runs
        for proto, port in (("udp", silent_udp), ("tcp", silent_tcp)):
            samples = expect_faults(run_timers_parallel(
                [[timer, proto, str(port), str(each)]] * procs), 1, "silent " + proto)
            table.add("poll, %s, silent device" % proto.upper(), samples, "s",
                      BUDGET * STEP_S, 5.05)

        table.add("start to first banner", measure_start(harness, udp_port, starts), "ms",
                  note="from starting the process to the banner on its terminal")
    finally:
        sim.stop()

    # Whole cycles, TCP and UDP devices taking turns.
    protos = ["tcp" if i % 2 == 0 else "udp" for i in range(cycle_devices)]
    durations, cpus, _, faults, peak = measure_cycles(harness, protos, cycles)
    if any(faults):
        raise RuntimeError("answering devices failed in a cycle: %r" % faults)
    table.add("cycle, %d devices answering" % cycle_devices, durations, "s",
              cycle_devices * STEP_S, None if smoke and cycle_devices < 512 else 5.4,
              "half TCP, half UDP; from the banner to the last status block")
    table.add("CPU time per cycle of %d devices" % cycle_devices, cpus, "s", None,
              0.25 if cycle_devices == 512 else None)
    table.add("peak resident memory", [peak], "KiB", None, 4096,
              "of the service after its cycles of %d devices" % cycle_devices)

    protos = ["tcp" if i % 2 == 0 else "udp" for i in range(silent_cycle_devices)]
    durations, _, per_device, faults, _ = measure_cycles(harness, protos, args.silent_cycles
                                                         if not smoke else 1, silent_every=10)
    silent_count = (silent_cycle_devices + 9) // 10
    if any(f != silent_count for f in faults):
        raise RuntimeError("expected %d network faults per cycle, saw %r" % (silent_count, faults))
    table.add("cycle, %d devices, %d silent" % (silent_cycle_devices, silent_count), durations,
              "s", (silent_cycle_devices - silent_count) * STEP_S + silent_count * BUDGET * STEP_S,
              note="every tenth device silent")
    table.add("  a silent device's share of it", [t for t, f in per_device if f], "s",
              BUDGET * STEP_S, 5.05, "from one status block to the next")
    table.add("  an answering device's share", [t for t, f in per_device if not f], "ms",
              STEP_S)

    idle.join()
    if idle.error:
        raise idle.error
    table.add("CPU of the idle schedule loop", [idle.result], "%", None, 0.001,
              "share of one core, measured over %.0f s: %.2f s of CPU per idle hour" %
              (idle_seconds, idle.result * 3600))

    lines = ["meter-service benchmark%s, on 127.0.0.1 against quorvane-sim" %
             (" (smoke run: too few samples to judge)" if smoke else ""),
             "machine: " + machine(),
             "run: %s, build %s" % (started.strftime("%Y-%m-%d %H:%M UTC"), build), "",
             table.text(), "",
             "One poll, side by side (medians):"]
    for proto, name in (("tcp", "libmodbus"), ("tcp", "mbpoll"), ("udp", "pymodbus")):
        if name in client:
            lines.append("  %s: the service %.3f ms, %s %.3f ms: %s; the service is %s its floor" %
                         (proto.upper(), service_poll[proto] * 1e3, name, client[name] * 1e3,
                          ratio(service_poll[proto], client[name]),
                          ratio(service_poll[proto], STEP_S, 3)))
    lines.append("The service checks for the reply every 10 ms and takes it at the first check "
                 "that finds it whole; a client that blocks until the reply arrives takes it "
                 "at once.")
    if table.missed:
        lines += ["", "MISSED: " + "; ".join(m.strip() for m in table.missed)]
    text = "\n".join(lines) + "\n"
    sys.stdout.write(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)
    return 3 if table.missed else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (RuntimeError, AssertionError, OSError, subprocess.SubprocessError) as e:
        print("bench: %s" % e, file=sys.stderr)
        sys.exit(1)
