"""A camera's end while another thread uses it: close() from another
thread, and scripts that end (in an interpreter of their own) while a
thread is inside a camera call. The port is given back and the process
exits normally."""

import os
import subprocess
import sys
import termios
import textwrap
import threading

import pytest

import vexq4
from conftest import commands


def test_close_from_another_thread_stops_its_call_and_gives_the_port_back(sim):
    cam = vexq4.Camera(device=sim.device, fast_reads=True)
    inside, failures = threading.Event(), []

    def work():
        try:
            cam.write_all(progress=lambda done, total: inside.set())
        except vexq4.Error as e:
            failures.append(e)

    worker = threading.Thread(target=work)
    worker.start()
    assert inside.wait(10)
    cam.close()  # does not raise: the write-all stops at its next exchange
    assert cam.closed
    worker.join(10)
    assert [type(e) for e in failures] == [vexq4.OfflineError]
    assert "closed" in str(failures[0])
    assert len(commands(sim)) < 10  # of some 30
    with pytest.raises(vexq4.OfflineError, match="closed"):
        cam.read_all()
    vexq4.Camera(device=sim.device).close()  # the port is free again


# Each script gets the simulated camera's device as DEVICE and ends while a
# thread of its own is inside a camera call.
SCRIPTS = {
    "a daemon thread in a loop of calls": """
        cam = vexq4.Camera(device=DEVICE)
        inside = threading.Event()

        def work():
            while True:
                cam.read_all(progress=lambda done, total: inside.set())

        threading.Thread(target=work, daemon=True).start()
        assert inside.wait(30)
    """,
    "a daemon thread in a shading transfer": """
        cam = vexq4.Camera(device=DEVICE)
        inside = threading.Event()
        table = os.path.join(FOLDER, "table.csv")
        threading.Thread(target=lambda: cam.shading_save(
            table, progress=lambda done, total: inside.set()), daemon=True).start()
        assert inside.wait(30)
    """,
    "a with block that ends while another thread works": """
        inside, failures = threading.Event(), []

        def work(cam):
            try:
                cam.write_all(progress=lambda done, total: inside.set())
            except vexq4.OfflineError as e:
                failures.append(e)

        with vexq4.Camera(device=DEVICE) as cam:
            worker = threading.Thread(target=work, args=(cam,), daemon=True)
            worker.start()
            assert inside.wait(30)
        assert cam.closed
        worker.join(30)
        assert len(failures) == 1, failures
    """,
}


@pytest.mark.parametrize("script", list(SCRIPTS))
def test_a_script_that_ends_while_a_thread_is_inside_a_call(script, tmp_path):
    # Every exchange takes a while: the thread is surely inside one.
    with vexq4.Simulator(pacing=False, latency=200) as sim:
        fd = os.open(sim.device, os.O_RDWR | os.O_NOCTTY)
        try:
            mine = termios.tcgetattr(fd)
            mine[4] = mine[5] = termios.B19200
            mine[3] |= termios.ICANON | termios.ECHO
            termios.tcsetattr(fd, termios.TCSANOW, mine)
            mine = termios.tcgetattr(fd)
            program = (f"import os, threading, vexq4\nDEVICE = {sim.device!r}\n"
                       f"FOLDER = {str(tmp_path)!r}\n" + textwrap.dedent(SCRIPTS[script]))
            run = subprocess.run([sys.executable, "-c", program], capture_output=True,
                                 text=True, timeout=120)
            assert (run.returncode, run.stderr) == (0, "")
            assert termios.tcgetattr(fd) == mine  # the port's settings are back
        finally:
            os.close(fd)
