"""The Python package of the Gamma build (docs/adding-a-setting.md): the
new setting is in vexq4.SETTINGS, an attribute of the camera with its
range, and in the settings file, with nothing of its own in the package."""

import pytest

import vexq4


@pytest.fixture
def sim():
    with vexq4.Simulator(pacing=False) as s:
        yield s


def test_gamma_is_a_setting_of_the_package():
    info = vexq4.SETTINGS["Gamma"]
    assert (info.mnemonic, info.minimum, info.maximum, info.kind) == ("GM", 0, 2, "int")


def test_gamma_reaches_the_camera_and_the_file(sim, tmp_path):
    with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
        cam.Gamma = 2
        assert sim.value("GM") == 2
        assert cam.get("Gamma") == 2
        with pytest.raises(ValueError):
            cam.Gamma = 3
        assert sim.value("GM") == 2

        path = tmp_path / "gamma.cam"
        cam.save_settings(path)
        assert b"Shading Mode=1\r\nGamma=2\r\n" in path.read_bytes()
        # Loading the file back and the report are the model's own, which
        # Gamma.GammaSetting tries in virtual time: paced at the camera's
        # 600 ms they would cost this test most of a minute.
