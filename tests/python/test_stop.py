"""Stopping a long operation: Ctrl-C, a signal handler's exception or a
callback's ends it at the next exchange, the call raises it, the camera
stays usable, and cameras in other threads go on."""

import os
import signal
import threading
import time

import pytest

import vexq4
from conftest import commands


def wait_for(condition, seconds=60):
    deadline = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < deadline, "the camera did not get that far"
        time.sleep(0.002)


def interrupt_after(sim, sent):
    """Sends SIGINT to the process, from a thread, once the camera received
    `sent` commands; returns the thread and what it saw when it sent it."""
    seen = {}

    def press():
        wait_for(lambda: len(commands(sim)) >= sent)
        os.kill(os.getpid(), signal.SIGINT)
        seen["time"] = time.monotonic()
        seen["commands"] = len(commands(sim))

    thread = threading.Thread(target=press)
    thread.start()
    return thread, seen


def test_ctrl_c_stops_a_write_all_on_a_paced_line():
    # The real pace (9600 baud, 600 ms between commands): about 18 s in all.
    with vexq4.Simulator() as sim, vexq4.Camera(device=sim.device) as cam:
        presser, seen = interrupt_after(sim, 3)
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            cam.write_all()  # no progress callable: stopped all the same
        raised = time.monotonic()
        presser.join(60)
        print(f"\nCtrl-C after {seen['time'] - start:.3f} s of a write-all: "
              f"KeyboardInterrupt {raised - seen['time']:.3f} s later")
        assert len(commands(sim)) - seen["commands"] <= 1  # the exchange under way
        assert raised - seen["time"] < 2.5  # the rest would take 15 s
        assert not cam.synchronized
        cam.MasterGainLevel = 5  # the camera goes on
        assert sim.value("GA") == 5


def test_a_signal_handlers_own_exception_stops_it_too():
    class Stop(Exception):
        pass

    def handler(signum, frame):
        raise Stop()

    previous = signal.signal(signal.SIGINT, handler)
    try:
        with vexq4.Simulator(pacing=False, latency=20) as sim:
            with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
                presser, seen = interrupt_after(sim, 1)
                with pytest.raises(Stop):
                    cam.write_all()
                presser.join(60)
                assert len(commands(sim)) - seen["commands"] <= 1
                assert len(commands(sim)) < 31
    finally:
        signal.signal(signal.SIGINT, previous)


def settings_file(cam, tmp_path):
    path = tmp_path / "line.cam"
    cam.save_settings(path)
    return path


# An operation, and the step of its progress at which the callable raises
# (every command waits 600 ms after the one before: few are sent).
OPERATIONS = {
    "read_all": (lambda cam, tmp: cam.read_all, 3),
    "write_all": (lambda cam, tmp: cam.write_all, 2),
    "load": (lambda cam, tmp: lambda **kw: cam.load(1, **kw), 2),
    "report": (lambda cam, tmp: lambda **kw: cam.report(tmp / "report.txt", **kw), 40),
    "load_settings": (lambda cam, tmp: lambda **kw: cam.load_settings(settings_file(cam, tmp),
                                                                      **kw), 1),
    "save_settings": (lambda cam, tmp: lambda **kw: cam.save_settings(tmp / "new.cam", **kw), 6),
    "shading_save": (lambda cam, tmp: lambda **kw: cam.shading_save(tmp / "shading.csv", **kw),
                     0),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_a_progress_callable_that_raises_stops_the_operation_there(cam, sim, tmp_path, name):
    make, at = OPERATIONS[name]
    operation = make(cam, tmp_path)
    steps, received = [], []

    def progress(done, total):
        steps.append(done)
        if done == at:
            received.append(len(sim.received))
            raise ValueError("enough")

    with pytest.raises(ValueError, match="enough"):
        operation(progress=progress)
    assert steps[-1] == at  # nothing announced after it
    assert len(sim.received) == received[0]  # and nothing sent
    for left in ("report.txt", "new.cam", "shading.csv"):
        assert not (tmp_path / left).exists()
    cam.read_all()  # the camera goes on
    assert cam.synchronized


def test_a_stopped_load_leaves_the_camera_unsynchronized(cam, sim, tmp_path):
    cam.MasterGainLevel = 77
    path = settings_file(cam, tmp_path)  # read first: synchronized from here on
    cam.MasterGainLevel = 10
    assert cam.synchronized

    def ctrl_c(done, total):
        if done == 2:
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        cam.load_settings(path, progress=ctrl_c)
    # The file's values are in the cache, two of them in the camera.
    assert (cam.MasterGainLevel, sim.value("GA")) == (77, 10)
    assert not cam.synchronized
    cam.read_all()
    assert cam.MasterGainLevel == 10 and cam.synchronized


def test_a_change_callback_that_raises_stops_a_write_all(cam, sim):
    def changed(name, value):
        if name == "ShutterSpeedIndex":
            raise RuntimeError("stop here")

    cam.on_change(changed)
    with pytest.raises(RuntimeError, match="stop here"):
        cam.write_all()
    # A change is announced before its command goes: that one is the
    # exchange under way.
    assert [line.split("=")[0] for line in commands(sim)] == ["SM", "SH"]


def test_a_stop_stops_only_its_own_camera():
    with vexq4.Simulator(pacing=False) as one, vexq4.Simulator(pacing=False, latency=5) as two:
        with vexq4.Camera(device=one.device, fast_reads=True) as first, \
                vexq4.Camera(device=two.device, fast_reads=True) as second:
            other_inside, stopping = threading.Event(), threading.Event()
            failures = []

            def progress(done, total):
                if done == 2:
                    other_inside.set()
                    assert stopping.wait(30)

            def other():
                try:
                    second.read_all(progress=progress)
                except Exception as e:  # reported below
                    failures.append(e)

            worker = threading.Thread(target=other)
            worker.start()
            assert other_inside.wait(30)

            def ctrl_c(done, total):
                if done == 1:
                    stopping.set()
                    signal.raise_signal(signal.SIGINT)

            with pytest.raises(KeyboardInterrupt):
                first.write_all(progress=ctrl_c)
            worker.join(60)
            assert not failures and second.synchronized
            assert len(commands(one)) == 1
