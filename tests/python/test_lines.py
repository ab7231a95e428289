"""The lines and names a camera is opened by: file and device names that
are not UTF-8, serial device servers that turn the camera away, and Camera
Link frame grabbers with and without their libraries."""

import os
import pathlib
import socket
import subprocess
import threading
import time

import pytest

import vexq4
from conftest import commands

BUILD = pathlib.Path(os.environ.get("VEXQ4_BUILD_DIR", "build"))


# ---- Names as Python's own file functions take them.


def test_names_that_are_not_utf8_work_as_python_takes_them(cam, sim, tmp_path):
    folder = os.fsencode(tmp_path)
    cam.MasterGainLevel = 42
    cam.save_settings(folder + b"/caf\xe9.cam")
    listed = os.path.join(tmp_path, os.listdir(tmp_path)[0])  # a str with a surrogate escape
    assert listed.endswith("caf\udce9.cam")
    assert "Master Gain Level=42" in pathlib.Path(listed).read_text()
    cam.shading_save(folder + b"/table\xff.csv")
    cam.shading_load(tmp_path / "table\udcff.csv")
    assert sorted(os.listdir(folder)) == [b"caf\xe9.cam", b"table\xff.csv"]
    # A file that is found and read, then refused for what it holds.
    (tmp_path / "other\udce9.cam").write_bytes(b"[Main]\nCamera Type=XYZ\n")
    with pytest.raises(vexq4.InvalidSettingsFileError, match=r"other\\xe9.cam"):
        cam.load_settings(folder + b"/other\xe9.cam")

    # Failures name the file, bytes that are not UTF-8 written as \xff.
    sent = len(commands(sim))
    for call, path in [
        (cam.load_settings, folder + b"/missing\xff.cam"),
        (cam.shading_load, tmp_path / "missing\udcff.csv"),
        (cam.save_settings, folder + b"/no\xff/such.cam"),
    ]:
        with pytest.raises(vexq4.FileError, match=r"\\xff"):
            call(path)
    assert len(commands(sim)) == sent
    with pytest.raises(TypeError, match="path"):
        cam.save_settings(3)


def test_device_names_that_are_not_utf8(tmp_path):
    with vexq4.Simulator(pacing=False) as sim:
        line = os.fsencode(tmp_path) + b"/camera-\xe9"
        os.symlink(sim.device, line)
        with vexq4.Camera(device=line, fast_reads=True) as cam:
            assert cam.online and cam.line.endswith("camera-\\xe9")
            assert "camera-\\xe9" in repr(cam)
        with vexq4.Camera(device=os.fsdecode(line), fast_reads=True) as cam:
            assert cam.online
    for device in (b"/dev/no-such-\xff", "/dev/no-such-\udcff"):
        with pytest.raises(vexq4.PortError, match=r"no-such-\\xff: no such device"):
            vexq4.Camera(device=device)


# ---- Serial device servers that turn the camera away.


class Server:
    """A serial device server on the loopback address: it `closes` each
    connection at once, says it is `in use` first, or takes it and stays
    `silent`. Counts the connections."""

    def __init__(self, behaviour):
        self.behaviour, self.peers, self.clients = behaviour, [], []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                client, peer = self.listener.accept()
            except OSError:
                return
            self.peers.append(peer)
            if self.behaviour == "silent":
                self.clients.append(client)
                continue
            if self.behaviour == "in use":
                client.sendall(b"Port already in use\r\n")
            client.close()

    def connections(self):
        """How many connections came so far: one of our own, taken in turn
        after every earlier one, tells when they are all counted."""
        with socket.create_connection(("127.0.0.1", self.port)) as last:
            mine = last.getsockname()
            deadline = time.monotonic() + 30
            while mine not in self.peers and time.monotonic() < deadline:
                time.sleep(0.002)
        return self.peers.index(mine)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        self.thread.join(10)
        for client in self.clients:
            client.close()


@pytest.mark.parametrize("scheme", ["socket", "rfc2217"])
@pytest.mark.parametrize("behaviour, error", [
    ("closes", vexq4.PortError),
    ("in use", vexq4.PortError),
    ("silent", None),  # a raw port: no camera answered; RFC 2217: no answer to it
])
def test_a_server_that_turns_the_camera_away_is_asked_once(scheme, behaviour, error, monkeypatch):
    monkeypatch.setenv("VEXQ4_CONNECT_TIMEOUT_MS", "300")
    if error is None:
        error = vexq4.CameraTimeoutError if scheme == "socket" else vexq4.PortError
    with Server(behaviour) as server:
        name = f"{scheme}://127.0.0.1:{server.port}"
        with pytest.raises(error) as e:
            vexq4.Camera(device=name)
        assert server.connections() == 1  # no second connection to find out why
    assert str(e.value).startswith(name + ": ")
    said = str(e.value)[len(name) + 2:].replace(str(server.port), "PORT")
    if behaviour != "silent":
        assert "closed" in said or "in use" in said.lower()

    # In the words of `vexq4`, which says the same of such a server.
    cli = BUILD / "bin" / "vexq4"
    if not cli.exists():
        pytest.skip("vexq4 is not built")
    with Server(behaviour) as server:
        run = subprocess.run(
            [cli, "--device", f"{scheme}://127.0.0.1:{server.port}", "get", "MasterGainLevel"],
            capture_output=True, text=True, timeout=60)
    assert run.returncode == 1
    assert said in run.stderr.replace(str(server.port), "PORT")


# ---- Camera Link frame grabbers.


def test_a_missing_frame_grabber_library_is_a_port_error(tmp_path, monkeypatch):
    # No vendor library of a frame grabber, and no clallserial library, here.
    monkeypatch.setenv("VEXQ4_SYSTEM_DIR", str(tmp_path))
    with pytest.raises(vexq4.PortError) as e:
        vexq4.Camera(grabber=1)
    assert e.value.status == -10002 and str(e.value).startswith("frame grabber 1: ")
    assert "Frame Grabber Manufacturer not found" in str(e.value)
    with pytest.raises(vexq4.PortError) as e:
        vexq4.Camera(clallserial=0)
    assert e.value.status == -8
    assert "Camera Link library or function missing" in str(e.value)


def test_a_camera_on_the_simulated_frame_grabber(monkeypatch):
    grabbers = BUILD / "lib" / "cameralink"
    if not (grabbers / "libclsersim.so").exists():
        pytest.skip("the simulated frame grabber is not built")
    with vexq4.Simulator(pacing=False) as sim:
        monkeypatch.setenv("VEXQ4_SYSTEM_DIR", str(grabbers))
        monkeypatch.setenv("VEXQ4_CLSERSIM_DEVICE", sim.device)
        with vexq4.Camera(grabber=1, fast_reads=True) as cam:
            assert cam.get("ModelName") == "RX-Q4CL"
