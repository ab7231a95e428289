"""A private desktop session for tests on a real display.

An X server of its own (Xvfb, which picks a free display number and tells
it through -displayfd), a D-Bus session bus of its own and the
accessibility bus that the session bus starts on demand: what a screen
reader talks to on a Linux desktop. Everything the session starts runs in
process groups of its own and is ended by process group when the session
closes, so nothing is left behind, also when a test fails half-way.
"""

import os
import select
import sys
import shutil
import signal
import subprocess
import tempfile
import time

# The Debian packages that bring each program the session needs.
PROGRAMS = {
    "Xvfb": "xvfb",
    "dbus-daemon": "dbus-daemon",
    "dbus-send": "dbus-bin",
    "xdotool": "xdotool",
}
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def missing_parts():
    """What this machine lacks for a session, as one line per part."""
    missing = [f"{program} (Debian package {package})"
               for program, package in PROGRAMS.items() if shutil.which(program) is None]
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append(f"{BUS_LAUNCHER} (Debian package at-spi2-core)")
    try:
        import gi  # noqa: F401
        gi.require_version("Atspi", "2.0")
        import pyatspi  # noqa: F401
    except (ImportError, ValueError) as error:
        missing.append(f"pyatspi for {sys.executable} (Debian package python3-pyatspi): {error}")
    return missing


def _read_line(fd, timeout, what):
    """One line from `fd`, or an error after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise RuntimeError(f"{what} did not start within {timeout} s")
        chunk = os.read(fd, 4096)
        if not chunk:
            raise RuntimeError(f"{what} ended before it said where it listens")
        data += chunk
    return data.decode().strip()


class DisplaySession:
    """Xvfb, a session bus and the accessibility bus; use it with `with`."""

    def __init__(self, width=1600, height=1200):
        self.size = (width, height)
        self.folder = None
        self.env = None
        self.a11y_bus = None
        self._groups = []
        self._logs = []

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _spawn(self, argv, env, name, pass_fds=()):
        log = open(os.path.join(self.folder, name + ".log"), "wb")
        self._logs.append(log)
        process = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, pass_fds=pass_fds,
                                   start_new_session=True)
        self._groups.append(process)
        return process

    def _start(self):
        self.folder = tempfile.mkdtemp(prefix="vexq4-display-")
        os.chmod(self.folder, 0o700)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("QT_", "DBUS_", "AT_SPI", "XDG_", "WAYLAND"))
               and key not in ("DISPLAY", "NO_AT_BRIDGE")}
        env["XDG_RUNTIME_DIR"] = self.folder
        env["HOME"] = self.folder

        read_end, write_end = os.pipe()
        try:
            width, height = self.size
            self._spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                         f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
                        env, "xvfb", pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            env["DISPLAY"] = ":" + _read_line(read_end, 30, "Xvfb")
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

        read_end, write_end = os.pipe()
        try:
            self._spawn(["dbus-daemon", "--session", "--nofork",
                         f"--print-address={write_end}"], env, "dbus", pass_fds=(write_end,))
            os.close(write_end)
            write_end = -1
            env["DBUS_SESSION_BUS_ADDRESS"] = _read_line(read_end, 30, "dbus-daemon")
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)

        # Asking for the accessibility bus starts it (the session bus
        # activates at-spi-bus-launcher), so that toolkits find it running
        # when they start. Its address is not put into the environment:
        # toolkits and screen readers ask the session bus for it (Qt 6.4
        # does not register its application when given AT_SPI_BUS_ADDRESS).
        reply = subprocess.run(
            ["dbus-send", "--session", "--print-reply=literal", "--reply-timeout=30000",
             "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            env=env, capture_output=True, text=True, timeout=60)
        if reply.returncode != 0 or not reply.stdout.strip():
            raise RuntimeError("the accessibility bus did not start: " + reply.stderr.strip())
        self.a11y_bus = reply.stdout.strip()
        self.env = env

    def spawn(self, argv, name, extra_env=None):
        """Starts a program inside the session; its output goes to a log."""
        env = dict(self.env)
        env.update(extra_env or {})
        return self._spawn(argv, env, name)

    def log(self, name):
        path = os.path.join(self.folder, name + ".log")
        try:
            with open(path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def close(self):
        # Programs started inside first, the X server last. A process group
        # takes what its leader started too (the buses the session bus
        # activated run in the session bus's group).
        for process in reversed(self._groups):
            for sig, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
                try:
                    os.killpg(process.pid, sig)
                except ProcessLookupError:
                    break
                try:
                    process.wait(timeout=wait)
                    break
                except subprocess.TimeoutExpired:
                    continue
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._groups.clear()
        for log in self._logs:
            log.close()
        self._logs.clear()
        if self.folder and not os.environ.get("VEXQ4_KEEP_DISPLAY_LOGS"):
            shutil.rmtree(self.folder, ignore_errors=True)
