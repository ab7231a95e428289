"""vexq4.Camera against the simulated camera: opening, values, errors,
events and the one-thread rule."""

import os
import termios
import threading

import pytest

import vexq4
from conftest import commands


# ---- Opening and closing.


@pytest.mark.parametrize(
    "kwargs, error",
    [
        ({}, TypeError),
        ({"com": 1, "sim": True}, TypeError),
        ({"device": "/dev/null", "grabber": 1}, TypeError),
        ({"com": "1"}, TypeError),
        ({"com": True}, TypeError),
        ({"com": 0}, ValueError),
        ({"com": 255}, ValueError),
        ({"grabber": 17}, ValueError),
        ({"device": ""}, ValueError),
        ({"sim": 1}, TypeError),
    ],
)
def test_exactly_one_valid_connection_argument(kwargs, error):
    with pytest.raises(error):
        vexq4.Camera(**kwargs)


@pytest.mark.parametrize("kind", ["missing", "folder", "file"])
def test_a_device_that_is_no_camera_line_raises_port_error(tmp_path, kind):
    path = tmp_path / "line"
    if kind == "folder":
        path.mkdir()
    elif kind == "file":
        path.write_text("not a tty")
    with pytest.raises(vexq4.PortError) as e:
        vexq4.Camera(device=path)
    assert e.value.status == -2
    assert {"missing": "no such device", "folder": "not a serial device",
            "file": "not a serial device"}[kind] in str(e.value)


def test_context_manager_gives_the_port_back_as_it_was(sim):
    fd = os.open(sim.device, os.O_RDWR | os.O_NOCTTY)
    try:
        mine = termios.tcgetattr(fd)
        mine[4] = mine[5] = termios.B19200
        mine[3] |= termios.ICANON | termios.ECHO
        termios.tcsetattr(fd, termios.TCSANOW, mine)
        mine = termios.tcgetattr(fd)
        with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
            during = termios.tcgetattr(fd)
            assert during[4] == termios.B9600 and not during[3] & termios.ICANON
            assert cam.online and not cam.closed
            # The line is this camera's: a second one is refused, not opened.
            with pytest.raises(vexq4.PortError, match="already open"):
                vexq4.Camera(device=sim.device)
        assert termios.tcgetattr(fd) == mine
        assert cam.closed and not cam.online
        cam.close()  # again: nothing happens
        with pytest.raises(vexq4.OfflineError, match="closed"):
            cam.MasterGainLevel = 1
        with pytest.raises(vexq4.OfflineError):
            cam.read_all()
        # The cache stays readable, and the port can be opened again.
        assert cam.MasterGainLevel == 0
        with vexq4.Camera(device=sim.device, fast_reads=True) as again:
            assert again.online
    finally:
        os.close(fd)


def test_an_exception_in_the_with_block_still_closes(sim):
    with pytest.raises(KeyError):
        with vexq4.Camera(device=sim.device) as cam:
            raise KeyError("x")
    assert cam.closed
    vexq4.Camera(device=sim.device).close()


def test_a_camera_dropped_without_close_gives_the_port_back(sim):
    cam = vexq4.Camera(device=sim.device)
    del cam  # the last reference: closed as it goes
    vexq4.Camera(device=sim.device).close()


def test_the_built_in_simulated_camera():
    with vexq4.Camera(sim=True, fast_reads=True) as cam:
        assert cam.identity().model_name == "RX-Q4CL"
        assert "simulated camera" in repr(cam)


# ---- Settings.


def test_settings_go_to_the_camera_at_once(cam, sim):
    cam.MasterGainLevel = 100
    cam.ShutterSpeedStr = "1/250"
    cam.Smearless = True  # a bool is an int
    assert commands(sim) == ["GA=100", "SH=4", "SL=1"]
    assert (cam.MasterGainLevel, cam.ShutterSpeedIndex, cam.ShutterSpeedStr) == (100, 4, "1/250")
    assert sim.value("GA") == 100 and sim.value("SH") == 4


def test_values_are_checked_before_anything_is_sent(cam, sim):
    for name, value, error in [
        ("MasterGainLevel", 430, ValueError),
        ("MasterGainLevel", -133, ValueError),
        ("MasterGainLevel", 2**70, ValueError),
        ("MasterGainLevel", 1.0, TypeError),
        ("MasterGainLevel", "100", TypeError),
        ("ShutterSpeedIndex", -1, ValueError),
        ("PartialScanIndex", 4, ValueError),
        ("ShutterSpeedStr", "1/251", ValueError),
        ("AutoWhiteAreaStr", "Middle Right", ValueError),  # the list says "Midle Right"
        ("ShutterSpeedStr", 4, TypeError),
        ("UserID", "", ValueError),
        ("UserID", "x" * 17, ValueError),
        ("UserID", "tab\there", ValueError),
    ]:
        with pytest.raises(error):
            setattr(cam, name, value)
    for name in ["ComPort", "FrameGrabberIndex", "CameraID", "FirmwareVersion"]:
        with pytest.raises(AttributeError):
            setattr(cam, name, 1)
    # set() refuses the whole call for one bad value.
    with pytest.raises(ValueError, match="TriggerTypeStr"):
        cam.set(MasterGainLevel=50, TriggerTypeStr="Edge pre-select")
    with pytest.raises(TypeError, match="did you mean MasterGainLevel"):
        cam.set(MastrGainLevel=50)
    assert sim.received == []
    assert cam.MasterGainLevel == 0


def test_set_sends_in_the_order_given(cam, sim):
    cam.set(TriggerTypeStr="Edge Pre-select", TriggerPolarity=1, MasterGainLevel=-20)
    assert commands(sim) == ["TR=1", "TP=1", "GA=-20"]


def test_get_asks_the_camera_and_settings_reads_what_it_holds(cam, sim):
    sim.set_value("GA", 123)
    sim.set_value("WB", 2)
    assert cam.MasterGainLevel == 0  # the cache, until asked
    assert cam.get("mastergainlevel") == 123
    assert cam.MasterGainLevel == 123
    with pytest.raises(KeyError, match="MasterGainLevel"):
        cam.get("GA")
    assert not cam.synchronized
    values = cam.settings()  # not synchronized: reads everything first
    assert cam.synchronized
    assert values["WhiteBalanceStr"] == "3200 K" and values["Red3200KWBalPreset"] == -68
    assert "FirmwareVersion" not in values and values["ModelName"] == "RX-Q4CL"
    assert list(values)[:3] == ["ComPort", "ShutterSpeedIndex", "ShutterSpeedStr"]
    sim.clear_received()
    assert cam.settings() == values  # synchronized: from the cache
    assert sim.received == []


def test_user_id_and_identity(cam, sim):
    cam.UserID = "LINE3-CAM1"
    assert sim.received[-1] == "UD=LINE3-CAM1"
    assert cam.UserID == "LINE3-CAM1"  # read back from the camera
    assert cam.identity() == vexq4.Identity("10042", "RX-Q4CL", "LINE3-CAM1", 120, 0)


def test_areas_are_checked(cam):
    with pytest.raises(ValueError):
        cam.store(0)
    with pytest.raises(ValueError):
        cam.load(4)
    with pytest.raises(TypeError):
        cam.store("1")


# ---- Failures.


def test_a_silent_camera_times_out():
    with vexq4.Simulator(pacing=False, silent=True) as sim:
        with pytest.raises(vexq4.CameraTimeoutError) as e:
            vexq4.Camera(device=sim.device, fast_reads=True)
        assert isinstance(e.value, TimeoutError) and e.value.status == -6
        assert "no camera answered" in str(e.value)


def test_a_camera_that_falls_silent(cam, sim):
    sim.set_faults(silent=True)
    with pytest.raises(vexq4.CameraTimeoutError) as e:
        cam.MasterGainLevel = 5
    assert "off-line" in str(e.value)
    assert not cam.online
    with pytest.raises(vexq4.OfflineError) as e:
        cam.read_all()
    assert e.value.status == -5


def test_a_refusing_camera_raises_and_stays_online():
    with vexq4.Simulator(pacing=False, reject_commands=True) as sim:
        with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
            with pytest.raises(vexq4.NotAcknowledgedError) as e:
                cam.MasterGainLevel = 5
            assert e.value.status == -3
            assert e.value.line.startswith("GA=5\r\nUnknown Command")
            assert cam.online
            with pytest.raises(vexq4.NotAcknowledgedError):
                cam.store(1)


def test_an_unplugged_camera_is_offline(cam, sim):
    cam.read_all()
    sim.stop()
    with pytest.raises(vexq4.OfflineError) as e:
        cam.MasterGainLevel = 5
    assert "off-line" in str(e.value)
    with pytest.raises(vexq4.OfflineError):
        cam.identity()
    assert not cam.online and not cam.synchronized


def test_bad_files_raise_before_anything_is_sent(cam, sim, tmp_path):
    invalid = tmp_path / "other.cam"
    invalid.write_text("[Main]\nCamera Type=XYZ\n")
    os.mkfifo(tmp_path / "fifo")
    (tmp_path / "shading.csv").write_text("no values\nin this file\n")
    for call, path, error in [
        (cam.load_settings, tmp_path / "missing.cam", vexq4.FileError),
        (cam.load_settings, tmp_path, vexq4.FileError),
        (cam.load_settings, tmp_path / "fifo", vexq4.FileError),
        (cam.load_settings, invalid, vexq4.InvalidSettingsFileError),
        (cam.shading_load, tmp_path / "missing.csv", vexq4.FileError),
        (cam.shading_load, tmp_path / "fifo", vexq4.FileError),
    ]:
        with pytest.raises(error) as e:
            call(path)
        assert "nothing was sent" in str(e.value)
    assert commands(sim) == []
    with pytest.raises(vexq4.FileError) as e:
        cam.shading_load(tmp_path / "shading.csv")  # read from the camera, then refused
    assert str(e.value).endswith(
        ': not a shading table: line 1: "no values" is neither a title line nor a point '
        "(a point begins with its number, 1..128); nothing was sent"
    )
    assert commands(sim) == []
    with pytest.raises(vexq4.FileError) as e:
        cam.save_settings(tmp_path / "no" / "such" / "folder.cam")
    assert e.value.status == -7
    with pytest.raises(TypeError):
        cam.save_settings(42)


def test_settings_file_round_trip(cam, tmp_path):
    cam.set(MasterGainLevel=77, AutoWhiteAreaStr="Midle Right")
    path = tmp_path / "line3.cam"
    cam.save_settings(path)  # reads all first: not synchronized
    text = path.read_text()
    assert "Master Gain Level=77" in text and "Auto White Area=Midle Right" in text


# ---- Events, messages, progress.


def test_changes_and_message_lines_come_in_the_callers_thread(cam):
    changes, messages, threads = [], [], set()

    def changed(name, value):
        changes.append((name, value))
        threads.add(threading.get_ident())
        assert cam.MasterGainLevel in (0, 100)  # the cache can be read here

    cam.on_change(changed)
    cam.on_message(lambda line: messages.append(line))
    cam.MasterGainLevel = 100
    cam.ShutterSpeedStr = "1/500"
    assert changes == [("MasterGainLevel", 100), ("ShutterSpeedIndex", 5), ("ShutterSpeedStr", "1/500")]
    assert messages == ["GA=100\r\nCOMPLETE\r\n", "SH=5\r\nCOMPLETE\r\n"]
    assert threads == {threading.get_ident()}
    cam.on_change(None)
    cam.MasterGainLevel = 101
    assert len(changes) == 3


def test_status_changes_are_events_too(sim):
    changes = []
    cam = vexq4.Camera(device=sim.device, fast_reads=True)
    cam.on_change(lambda name, value: changes.append((name, value)))
    cam.read_all()
    assert ("synchronized", True) in changes
    cam.close()
    assert changes[-2:] == [("synchronized", False), ("online", False)]


def test_an_exception_in_a_callback_reaches_the_caller(cam, sim):
    def fail(name, value):
        raise RuntimeError(f"refused {name}")

    cam.on_change(fail)
    with pytest.raises(RuntimeError, match="refused MasterGainLevel"):
        cam.MasterGainLevel = 7
    assert sim.value("GA") == 7  # the camera operation was completed
    cam.on_change(None)
    seen = []

    def progress(done, total):
        seen.append((done, total))
        if done == 3:
            raise ValueError("enough")

    with pytest.raises(ValueError, match="enough"):
        cam.read_all(progress=progress)
    assert seen[-1] == (3, seen[0][1])  # no callback after the one that raised


def test_progress_counts_to_the_end(cam):
    steps = []
    cam.read_all(progress=lambda done, total: steps.append((done, total)))
    assert steps[0][0] == 0 and steps[-1][0] == steps[-1][1] > 30
    assert [d for d, _ in steps] == sorted(d for d, _ in steps)


def test_a_callback_cannot_talk_to_the_camera(cam):
    errors = []

    def changed(name, value):
        try:
            cam.read_all()
        except vexq4.CameraBusyError as e:
            errors.append(str(e))

    cam.on_change(changed)
    cam.MasterGainLevel = 3
    assert errors and "own callback" in errors[0]


def test_a_second_thread_is_refused_while_one_works(cam):
    inside, tried = threading.Event(), threading.Event()
    refusals = []

    def progress(done, total):
        if done == 1:
            inside.set()
            assert tried.wait(10)

    worker = threading.Thread(target=lambda: cam.read_all(progress=progress))
    worker.start()
    assert inside.wait(10)
    for attempt in (lambda: cam.MasterGainLevel, lambda: setattr(cam, "MasterGainLevel", 1),
                    cam.close):
        with pytest.raises(vexq4.CameraBusyError, match="another thread") as e:
            attempt()
        refusals.append(e.value)
    tried.set()
    worker.join(10)
    assert len(refusals) == 3 and isinstance(refusals[0], RuntimeError)
    cam.MasterGainLevel = 2  # free again
