"""The camera's longer operations through vexq4: shading tables, auto
shading, one-push white balance, areas and the camera data report."""

import pytest

import vexq4
from conftest import commands


def test_shading_table_round_trip(cam, sim, tmp_path):
    path = tmp_path / "shading.csv"
    steps = []
    cam.shading_save(path, progress=lambda done, total: steps.append((done, total)))
    lines = path.read_text().splitlines()
    assert len(lines) == 131 and lines[3].startswith("1,4096,") and lines[-1].startswith("128,")
    assert steps[-1][0] == steps[-1][1]
    lines[3] = "1,100,200,300,400,500,600"
    path.write_text("\r\n".join(lines) + "\r\n")
    cam.shading_load(path)
    cam.shading_save(tmp_path / "again.csv")
    assert (tmp_path / "again.csv").read_text().splitlines()[3] == "1,100,200,300,400,500,600"


def test_auto_shading_and_one_push():
    with vexq4.Simulator(pacing=False, auto_shading_ms=50) as sim:
        with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
            cam.auto_shading()
            assert cam.one_push() == "Complete"
            assert (cam.RedGainLevel, cam.BlueGainLevel) == (37, -24)
            assert commands(sim) == ["ATSH=0", "AW=0"]
    with vexq4.Simulator(pacing=False, one_push_result=2) as sim:
        with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
            assert cam.one_push() == "Too Dark"


def test_store_load_and_the_report(cam, sim, tmp_path):
    cam.MasterGainLevel = 77
    cam.store(2)
    sim.set_value("GA", 5)
    cam.load(2)  # the area back, then everything read
    assert cam.MasterGainLevel == 77 and cam.synchronized
    assert cam.identity().eeprom_area == 2
    report = tmp_path / "camera.txt"
    cam.report(report)
    rows = report.read_bytes().split(b"\r\n")
    gain = next(r for r in rows if r.startswith(b"Master Gain Level"))
    assert [c.strip() for c in gain.split(b",")] == [b"Master Gain Level", b"77", b"0", b"0",
                                                     b"77", b"0"]
    assert sim.value("GA") == 77  # the camera ends with its own settings
