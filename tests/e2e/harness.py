"""Runs the built service and the device simulator for end-to-end tests.

The service runs in a fresh temporary folder, with its console either on a
pseudo-terminal (every print arrives at once, so a test can wait for a text)
or on a pipe (block-buffered, complete once the process has ended).
"""

import calendar
import glob
import os
import pty
import select
import shutil
import signal
import subprocess
import tempfile
import time
import tty

BUILD_DIR = os.environ.get("METER_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SERVICE = os.path.join(BUILD_DIR, "meter-service")
SIMULATOR = os.path.join(BUILD_DIR, "quorvane-sim")
FAKETIME_LIBS = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")


def crlf(text):
    """The bytes a text written by the service has on disk or console."""
    return text.replace("\n", "\r\n").encode("latin-1")


# The first line of a new meter.csv, as it is on disk.
LOG_HEADER = crlf("Date , Time , Meter_ID , Network_Fault , Meter_Fault , Meter_Reading , "
                  "Units , Rate_of_Flow\r\n")


def log_lines(data):
    """Whole lines in meter.csv bytes (each ends in CR CR LF)."""
    return data.count(b"\r\r\n")


def utc(stamp):
    """Seconds since the epoch of 'YYYY-MM-DD hh:mm:ss' taken as UTC."""
    return calendar.timegm(time.strptime(stamp, "%Y-%m-%d %H:%M:%S"))


class Service:
    """The service in its own folder. Construct, then start()."""

    def __init__(self, sites, tz="UTC0", fake_utc=None, env=None, rate=None):
        self.dir = tempfile.mkdtemp(prefix="meter-e2e-")
        self.tz = tz
        self.fake_utc = fake_utc
        self.rate = rate  # clock and pauses run this many times faster
        self.extra_env = env or {}
        self.proc = None
        self.master = None
        self.console = b""
        if sites is not None:
            mode = "wb" if isinstance(sites, bytes) else "w"
            with open(self.path("sites.txt"), mode) as f:
                f.write(sites)

    def path(self, name):
        return os.path.join(self.dir, name)

    def _env(self):
        env = {"PATH": "/usr/bin:/bin", "TZ": self.tz}
        # A sanitized build's settings reach the service: a finding must fail the test.
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        env.update(self.extra_env)
        return env

    def _clock(self):
        """The env command that gives the service its pinned clock.

        Set on the service alone, not on a prefix such as setpriv, which
        would otherwise set up the fake clock as another user."""
        if self.fake_utc is None:
            return []
        # Start on a whole second, so the passes of the schedule fall early
        # in each second and none is skipped.
        now = time.time()
        time.sleep((1.02 - (now % 1.0)) % 1.0)
        fake = "%+ds" % (self.fake_utc - int(time.time()))
        if self.rate:
            fake += " x%d" % self.rate
        return ["/usr/bin/env", "LD_PRELOAD=" + FAKETIME_LIBS[0], "FAKETIME=" + fake,
                "DONT_FAKE_MONOTONIC=1"]

    def start(self, terminal=True, argv=None, prefix=()):
        """prefix: a command the service runs under (a namespace, a user)."""
        cmd = list(prefix) + self._clock() + (argv or [SERVICE])
        if terminal:
            self.master, slave = pty.openpty()
            tty.setraw(slave)  # no line discipline: the bytes as written
            self.proc = subprocess.Popen(cmd, cwd=self.dir, env=self._env(), stdin=subprocess.DEVNULL,
                                         stdout=slave, stderr=subprocess.PIPE, start_new_session=True)
            os.close(slave)
        else:
            self.proc = subprocess.Popen(cmd, cwd=self.dir, env=self._env(), stdin=subprocess.DEVNULL,
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                         start_new_session=True)
        return self

    def read_terminal(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.master, 65536)
        except OSError:  # the service closed its terminal
            return False
        self.console += data
        return bool(data)

    def wait_for(self, text, timeout=30.0, count=1):
        """Reads the terminal until text has appeared count times."""
        deadline = time.monotonic() + timeout
        while self.console.count(text) < count:
            left = deadline - time.monotonic()
            if left <= 0 or not self.read_terminal(left):
                if self.console.count(text) < count:
                    raise AssertionError("%r not seen %d times within %.0f s; console:\n%r" %
                                         (text, count, timeout, self.console[-3000:]))
        return self.console

    def wait_for_file(self, name, predicate, timeout=30.0):
        """Waits until predicate(bytes of the file) holds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.master is not None:
                self.read_terminal(0.05)
            else:
                time.sleep(0.05)
            try:
                with open(self.path(name), "rb") as f:
                    data = f.read()
            except FileNotFoundError:
                continue
            if predicate(data):
                return data
        raise AssertionError("%s never reached the expected state" % name)

    def send(self, sig):
        self.proc.send_signal(sig)

    def finish(self, sig=signal.SIGTERM, timeout=30.0):
        """Stops the service (unless it ended) and returns its exit status."""
        if sig is not None and self.proc.poll() is None:
            self.proc.send_signal(sig)
        if self.master is not None:
            deadline = time.monotonic() + timeout
            while self.proc.poll() is None and time.monotonic() < deadline:
                self.read_terminal(0.1)
            while self.read_terminal(0.1):
                pass
            os.close(self.master)
            self.master = None
        else:
            out, _ = self.proc.communicate(timeout=timeout)
            self.console += out
        status = self.proc.wait(timeout=timeout)
        if self.proc.stderr:
            self.proc.stderr.close()
        return status

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def kill(self):
        """Ends the service if it still runs and removes its folder."""
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.master is not None:
            os.close(self.master)
            self.master = None
        if os.path.isdir(self.dir):
            os.chmod(self.dir, 0o700)
            shutil.rmtree(self.dir, ignore_errors=True)
        if self.proc is not None and self.fake_utc is not None:
            # The fake clock removes its shared memory only when the process
            # exits normally.
            for name in ("faketime_shm_%d", "sem.faketime_sem_%d"):
                try:
                    os.remove("/dev/shm/" + name % self.proc.pid)
                except OSError:
                    pass


def run_to_exit(sites, timeout=30.0, **kwargs):
    """Runs the service over a pipe until it ends by itself."""
    s = Service(sites, **kwargs).start(terminal=False)
    status = s.finish(sig=None, timeout=timeout)
    s.kill()
    return s, status


class Simulator:
    """quorvane-sim serving the given devices; learns their ports."""

    def __init__(self, *devices, quiet=True, prefix=()):
        cmd = list(prefix) + [SIMULATOR] + (["--quiet"] if quiet else []) + list(devices)
        self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        self.ports = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise AssertionError("simulator ended: " + self.proc.stderr.read())
            if line.startswith("listening "):
                self.ports.append(int(line.split()[3]))
            elif line.strip() == "ready":
                break

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        self.proc.communicate(timeout=10)
        return self.proc.returncode


def closed_tcp_port():
    """A loopback port with a bound socket that never listens: connects are refused.

    Returns (socket, port); keep the socket open while the port is in use.
    """
    import socket
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    return s, s.getsockname()[1]
