"""Fixtures of the vexq4 package's tests: simulated cameras on
pseudo-terminals of the test process, answering at once (no 9600-baud
pacing) unless a test wants the real pace."""

import pytest

import vexq4


@pytest.fixture
def sim():
    with vexq4.Simulator(pacing=False) as s:
        yield s


@pytest.fixture
def cam(sim):
    with vexq4.Camera(device=sim.device, fast_reads=True) as c:
        sim.clear_received()
        yield c


def commands(sim):
    """The command lines ("GA=100") the camera received, queries left out."""
    return [line for line in sim.received if "=" in line and not line.endswith("?")]
