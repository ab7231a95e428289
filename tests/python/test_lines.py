"""The lines a camera is opened by: serial device servers that turn the
camera away."""

import os
import pathlib
import socket
import subprocess
import threading
import time

import pytest

import vexq4

BUILD = pathlib.Path(os.environ.get("VEXQ4_BUILD_DIR", "build"))


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
