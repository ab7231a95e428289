"""examples/line_setup.py as a line engineer runs it."""

import os
import pathlib
import subprocess
import sys

import vexq4

EXAMPLE = pathlib.Path(os.environ.get("VEXQ4_SOURCE_DIR", pathlib.Path(__file__).parents[2])) / \
    "examples" / "line_setup.py"


def run(*args):
    return subprocess.run([sys.executable, str(EXAMPLE), *args], capture_output=True, text=True,
                          timeout=120)


def test_line_setup_applies_the_file_and_prints_what_the_camera_does_not_hold(tmp_path):
    with vexq4.Simulator(pacing=False) as sim:
        with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
            cam.save_settings(tmp_path / "factory.cam")
        text = (tmp_path / "factory.cam").read_text()
        for old, new in [("Master Gain Level=0", "Master Gain Level=100"),
                         ("White Balance=Continuous AWB", "White Balance=4600 K"),
                         ("Gain Level for red=0", "Gain Level for red=10")]:
            assert old in text
            text = text.replace(old, new)
        line3 = tmp_path / "line3.cam"
        line3.write_text(text)

        done = run("--device", sim.device, str(line3))
        # In a colour-temperature mode the camera balances with its presets,
        # which the file's gains do not change: that is what differs.
        assert done.stdout.splitlines() == ["Gain/Gain Level for red: file 10, camera -12",
                                            "Gain/Gain Level for Blue: file 0, camera 20"]
        assert done.returncode == 1 and "differs" in done.stderr
        assert sim.value("GA") == 100 and sim.value("WB") == 3 and sim.value("GAR") == 10

        missing = run("--device", sim.device, str(tmp_path / "missing.cam"))
        assert missing.returncode == 1 and "nothing was sent" in missing.stderr
    assert run().returncode == 2
