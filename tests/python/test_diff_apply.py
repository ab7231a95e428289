"""cam.diff() and cam.apply(): a settings file as the camera's truth."""

import pytest

import vexq4
from conftest import commands


def test_diff_apply_and_a_file_the_camera_holds(cam, sim, tmp_path):
    path = tmp_path / "line.cam"
    sim.set_value("WB", 4)
    sim.set_value("WPB3", -40)
    cam.save_settings(path)
    assert cam.diff(path) == {}
    cam.set(MasterGainLevel=100, AutoWhiteAreaStr="Lower Right", Blue5600KWBalPreset=3)
    sim.clear_received()
    assert cam.diff(path) == {
        "AutoWhiteAreaStr": ("Lower Right", "Full Area"),
        "MasterGainLevel": (100, 0),
        "Blue5600KWBalPreset": (3, -40),
    }
    assert commands(sim) == []
    steps = []
    changes = cam.apply(path, progress=lambda done, total: steps.append((done, total)))
    assert changes == {
        "MasterGainLevel": (100, 0),
        "AutoWhiteAreaStr": ("Lower Right", "Full Area"),
        "Blue5600KWBalPreset": (3, -40),
    }
    assert commands(sim) == ["GA=0", "WA=0", "WPB3=-40"]
    assert steps[-1][0] == steps[-1][1]
    sim.clear_received()
    assert cam.apply(path) == {}
    assert commands(sim) == []


def test_a_refused_file_and_a_refused_value(cam, sim, tmp_path):
    path = tmp_path / "line.cam"
    cam.save_settings(path)
    bad = tmp_path / "bad.cam"
    bad.write_text(path.read_text().replace("Master Gain Level=0", "Master Gain Level=900"))
    with pytest.raises(vexq4.InvalidSettingsFileError, match="Master Gain Level=900"):
        cam.diff(bad)
    cam.set(MasterGainLevel=100, KneeSelect=0)
    sim.clear_received()
    sim.set_faults(reject_commands=True)
    with pytest.raises(vexq4.ApplyError) as raised:
        cam.apply(path)
    assert isinstance(raised.value, vexq4.Error)
    assert raised.value.failed == {"MasterGainLevel": (100, 0), "KneeSelect": (0, 1)}
    assert raised.value.applied == {}
    sim.set_faults(reject_commands=False)
    assert cam.apply(path) == {"MasterGainLevel": (100, 0), "KneeSelect": (0, 1)}
