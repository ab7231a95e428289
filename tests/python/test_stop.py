"""Stopping a long operation: Ctrl-C or a callback's exception ends it at
the next exchange, the call raises it, the camera stays usable, and cameras
in other threads go on."""

import os
import signal
import threading
import time

import pytest

import vexq4
from conftest import commands


def test_ctrl_c_stops_a_write_all_on_a_paced_line():
    # The real pace (9600 baud, 600 ms between commands): about 18 s in all.
    with vexq4.Simulator() as sim, vexq4.Camera(device=sim.device) as cam:
        seen = {}

        def press_ctrl_c():  # as a terminal does, with no progress callable
            deadline = time.monotonic() + 60
            while len(commands(sim)) < 3 and time.monotonic() < deadline:
                time.sleep(0.002)
            os.kill(os.getpid(), signal.SIGINT)
            seen.update(time=time.monotonic(), commands=len(commands(sim)))

        presser = threading.Thread(target=press_ctrl_c)
        presser.start()
        with pytest.raises(KeyboardInterrupt):
            cam.write_all()
        raised = time.monotonic()
        presser.join(60)
        print(f"\nCtrl-C during a write-all: KeyboardInterrupt {raised - seen['time']:.3f} s "
              "later")
        assert len(commands(sim)) - seen["commands"] <= 1  # the exchange under way
        assert raised - seen["time"] < 2.5  # the rest would take 15 s
        assert not cam.synchronized
        cam.MasterGainLevel = 5  # the camera goes on
        assert sim.value("GA") == 5


def test_a_callback_that_raises_stops_the_operation_there(cam, sim, tmp_path):
    def progress(done, total):
        if done == 2:
            raise ValueError("enough")

    with pytest.raises(ValueError, match="enough"):
        cam.write_all(progress=progress)
    assert [line.split("=")[0] for line in commands(sim)] == ["SM", "SH"]

    # A change is announced before its command goes: that one is the
    # exchange under way.
    def changed(name, value):
        if name == "ShutterSpeedIndex":
            raise RuntimeError("stop here")

    sim.clear_received()
    cam.on_change(changed)
    with pytest.raises(RuntimeError, match="stop here"):
        cam.report(tmp_path / "report.txt")  # its read-all first stops
    assert not commands(sim) and not (tmp_path / "report.txt").exists()
    cam.on_change(None)
    cam.read_all()
    assert cam.synchronized


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


@pytest.mark.parametrize("operation", ["shading_save", "shading_load"])
def test_ctrl_c_abandons_a_shading_frame_and_keeps_the_old_table(operation, tmp_path):
    # A table to send, from a camera that answers at once.
    table = tmp_path / "camera.csv"
    with vexq4.Simulator(pacing=False) as quick:
        with vexq4.Camera(device=quick.device, fast_reads=True) as cam:
            cam.shading_save(table)
    old = tmp_path / "old.csv"
    old.write_text("the table saved before\n")
    # At the real pace the camera's frame takes a pause of 1 s, then 3104
    # bytes at 9600 baud. Ours leaves at once on a pseudo-terminal, after
    # the empty line that comes first: the camera answering that late, the
    # frame leaves after the reply time-out of 600 ms.
    with vexq4.Simulator() as sim, vexq4.Camera(device=sim.device) as cam:
        saving = operation == "shading_save"
        if not saving:
            sim.set_faults(late=1000)
        seen = {}

        def press_ctrl_c():  # as a terminal does, inside the frame
            started = "SHD?1024,768" if saving else ""
            deadline = time.monotonic() + 60
            while started not in sim.received and time.monotonic() < deadline:
                time.sleep(0.002)
            time.sleep(1.5 if saving else 0.3)
            seen["time"] = time.monotonic()
            os.kill(os.getpid(), signal.SIGINT)

        presser = threading.Thread(target=press_ctrl_c)
        presser.start()
        with pytest.raises(KeyboardInterrupt):
            if saving:
                cam.shading_save(old)
            else:
                cam.shading_load(table)
        raised = time.monotonic()
        presser.join(60)
        print(f"\nCtrl-C during {operation}: KeyboardInterrupt {raised - seen['time']:.3f} s later")
        if saving:
            assert raised - seen["time"] < 2.0  # the rest of the frame takes 2.7 s
        assert old.read_text() == "the table saved before\n"
        # The camera drops a frame cut short, keeps its table and goes on
        # (once its late answer to the empty line has passed).
        if not saving:
            sim.set_faults(late=0)
            time.sleep(1)
        cam.MasterGainLevel = 5
        assert sim.value("GA") == 5
        assert "<SHD frame>" not in sim.received
