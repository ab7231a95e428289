"""The RX-Q4 camera from Python.

    import vexq4
    with vexq4.Camera(device="/dev/ttyUSB0") as cam:
        cam.read_all()
        cam.set(MasterGainLevel=100, ShutterSpeedStr="1/250")
        print(cam.identity())

Camera opens one camera on its serial line (or a simulated one, sim=True);
Simulator serves a simulated camera with fault switches for test benches;
SETTINGS describes every setting. Failures raise vexq4.Error and its
subclasses; help(vexq4.Camera) tells the rest.
"""

from ._base import (
    ApplyError,
    CameraBusyError,
    CameraTimeoutError,
    Error,
    FileError,
    Identity,
    InvalidSettingsFileError,
    MalformedReplyError,
    NotAcknowledgedError,
    OfflineError,
    PortError,
    RefusedValueError,
    SettingInfo,
)
from ._vexq4 import SETTINGS, Camera, Simulator

__version__ = "@PROJECT_VERSION@"

__all__ = [
    "Camera",
    "Simulator",
    "SETTINGS",
    "SettingInfo",
    "Identity",
    "Error",
    "OfflineError",
    "CameraTimeoutError",
    "NotAcknowledgedError",
    "MalformedReplyError",
    "PortError",
    "FileError",
    "InvalidSettingsFileError",
    "RefusedValueError",
    "CameraBusyError",
    "ApplyError",
]

Camera.__module__ = __name__
Simulator.__module__ = __name__
