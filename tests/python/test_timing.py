"""Real time against paced simulated cameras (9600 baud): threads drive
cameras at once, and Python adds nothing measurable to the model."""

import threading
import time

import pytest

import vexq4
from vexq4 import _vexq4


def timed(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def test_two_threads_on_two_cameras_take_the_time_of_one():
    with vexq4.Simulator() as one, vexq4.Simulator() as two:
        cams = [vexq4.Camera(device=s.device, fast_reads=True) for s in (one, two)]
        try:
            alone = timed(cams[0].read_all)
            errors = []

            def work(cam):
                try:
                    cam.read_all()
                    cam.MasterGainLevel = 42
                except Exception as e:  # reported below
                    errors.append(e)

            def both():
                threads = [threading.Thread(target=work, args=(c,)) for c in cams]
                for t in threads:
                    t.start()
                for t in threads:
                    t.join(60)

            together = timed(both)
            assert not errors
            assert one.value("GA") == two.value("GA") == 42
            print(f"\nread-all of one camera {alone:.3f} s; read-all and a set on two "
                  f"cameras in two threads {together:.3f} s")
            # Two in a row would take twice as long; the set adds one command
            # (without a gap to wait: it is the first).
            assert together < 1.5 * alone + 0.2
        finally:
            for c in cams:
                c.close()


def test_read_all_through_python_costs_what_it_costs_in_cxx():
    # The standard drain and the 9600-baud pace: the read-all as it runs on
    # a line, about 4 s. Interleaved runs; the best of each side compared.
    with vexq4.Simulator() as sim:
        python, cxx = [], []
        for _ in range(3):
            status, seconds = _vexq4._read_all_through_model(sim.device)
            assert status == 0
            cxx.append(seconds)
            with vexq4.Camera(device=sim.device, fast_reads=False) as cam:
                cam.on_change(lambda name, value: None)  # callbacks in the path too
                python.append(timed(cam.read_all))
        ratio = min(python) / min(cxx)
        print(f"\nread-all through Python {min(python):.3f} s, through the C++ model "
              f"{min(cxx):.3f} s: {ratio:.4f} times (runs: Python "
              + ", ".join(f"{t:.3f}" for t in python) + "; C++ "
              + ", ".join(f"{t:.3f}" for t in cxx) + ")")
        assert ratio <= 1.02


def test_reads_are_fast_unless_a_camera_asks_for_the_standard_ones():
    # The standard wait before each of a read-all's 34 queries is at least
    # 101 ms; fast reads wait 15 ms. The setting is the process's: while a
    # camera that asked for the standard reads is open, every camera reads
    # that way.
    with vexq4.Simulator() as one, vexq4.Simulator() as two:
        with vexq4.Camera(device=one.device) as fast:
            alone = timed(fast.read_all)
            with vexq4.Camera(device=two.device, fast_reads=False):
                beside_standard = timed(fast.read_all)
            again = timed(fast.read_all)
        print(f"\nread-all: fast {alone:.3f} s, beside a standard camera "
              f"{beside_standard:.3f} s, fast again {again:.3f} s")
        assert beside_standard >= 34 * 0.101
        assert alone < beside_standard / 2
        assert again < beside_standard / 2
