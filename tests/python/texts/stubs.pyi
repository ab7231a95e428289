# Type stubs of vexq4. The settings of Camera below are generated from the
# settings table when the package is built; the rest is written here.
from os import PathLike
from types import MappingProxyType, TracebackType
from typing import Any, Callable, Dict, NamedTuple, Optional, Tuple, Type, Union

_Path = Union[str, bytes, "PathLike[str]", "PathLike[bytes]"]
_Progress = Optional[Callable[[int, int], Any]]

__version__: str

class Error(Exception):
    status: Optional[int]
    line: Optional[str]
    def __init__(self, message: str, status: Optional[int] = ..., line: Optional[str] = ...) -> None: ...

class OfflineError(Error): ...
class CameraTimeoutError(Error, TimeoutError): ...
class NotAcknowledgedError(Error): ...
class MalformedReplyError(Error): ...
class PortError(Error): ...
class FileError(Error): ...
class InvalidSettingsFileError(FileError): ...
class RefusedValueError(Error, ValueError): ...
class CameraBusyError(Error, RuntimeError): ...

class ApplyError(Error):
    failed: Dict[str, Tuple[Union[int, str], Union[int, str]]]
    applied: Dict[str, Tuple[Union[int, str], Union[int, str]]]

class Identity(NamedTuple):
    camera_id: str
    model_name: str
    user_id: str
    firmware_version: int
    eeprom_area: int

class SettingInfo:
    name: str
    kind: str
    minimum: Optional[int]
    maximum: Optional[int]
    choices: Optional[Tuple[str, ...]]
    mnemonic: Optional[str]
    code: Optional[int]
    dispid: Optional[int]
    read_only: bool
    checked: bool
    doc: str

SETTINGS: MappingProxyType[str, SettingInfo]

class Camera:
    def __init__(
        self,
        com: Optional[int] = ...,
        device: Optional[_Path] = ...,
        grabber: Optional[int] = ...,
        clallserial: Optional[int] = ...,
        sim: bool = ...,
        fast_reads: bool = ...,
    ) -> None: ...
    def __enter__(self) -> "Camera": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> None: ...
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    @property
    def line(self) -> str: ...
    @property
    def online(self) -> bool: ...
    @property
    def synchronized(self) -> bool: ...
    def set(self, **values: Union[int, str]) -> None: ...
    def get(self, name: str) -> Union[int, str]: ...
    def settings(self) -> Dict[str, Union[int, str]]: ...
    def read_all(self, *, progress: _Progress = ...) -> None: ...
    def write_all(self, *, progress: _Progress = ...) -> None: ...
    def identity(self) -> Identity: ...
    def store(self, area: int) -> None: ...
    def load(self, area: int, *, progress: _Progress = ...) -> None: ...
    def save_settings(self, path: _Path, *, progress: _Progress = ...) -> None: ...
    def load_settings(self, path: _Path, *, progress: _Progress = ...) -> None: ...
    def diff(self, path: _Path) -> Dict[str, Tuple[Union[int, str], Union[int, str]]]: ...
    def apply(
        self, path: _Path, *, progress: _Progress = ...
    ) -> Dict[str, Tuple[Union[int, str], Union[int, str]]]: ...
    def report(self, path: _Path, *, progress: _Progress = ...) -> None: ...
    def shading_save(self, path: _Path, *, progress: _Progress = ...) -> None: ...
    def shading_load(self, path: _Path, *, progress: _Progress = ...) -> None: ...
    def auto_shading(self, *, progress: _Progress = ...) -> None: ...
    def one_push(self) -> str: ...
    def on_change(self, callback: Optional[Callable[[str, Union[int, str, bool]], Any]]) -> None: ...
    def on_message(self, callback: Optional[Callable[[str], Any]]) -> None: ...
    # ---- Settings (generated)
    @property
    def ComPort(self) -> int:
        """port number of the connection (read-only)."""
    ShutterSpeedIndex: int
    """index into the ShutterSpeedStr list: 0..11."""
    ShutterSpeedStr: str
    """shutter speed: OFF, 1/60, 1/100, 1/120, 1/250, 1/500, 1/1000, 1/2000, 1/4000, 1/10000, 1/16000, 1/50000."""
    TriggerTypeIndex: int
    """index into the TriggerTypeStr list: 0..4."""
    TriggerTypeStr: str
    """trigger mode: Normal (Continuous), Edge Pre-select, Pulse Width control, Sensor Gate Control, Reset Continuous."""
    TriggerPolarity: int
    """0 active low, 1 active high: -32768..32767."""
    PartialScanStr: str
    """partial scan: Full Frame, 1/2 Partial, 1/4 Partial, 1/8 Partial."""
    MasterGainLevel: int
    """master gain (0 is 0 dB): -132..429."""
    PartialScanIndex: int
    """index into the PartialScanStr list: 0..3."""
    ShutterMode: int
    """0 shutter speed, 1 programmable exposure (RGB common), 2 (RGB individual): -32768..32767."""
    RCTFVALType: int
    """0 Camera Link mode, 1 VEX Standard mode: -32768..32767."""
    Smearless: int
    """0 off, 1 on: -32768..32767."""
    ProgrammableExposure: int
    """programmable exposure, RGB common: 0..791."""
    ColorBar: int
    """0 off, 1 on: -32768..32767."""
    TriggerInput: int
    """0 Camera Link connector, 1 12-pin connector: -32768..32767."""
    Accumulation: int
    """0 LVAL synchronous, 1 LVAL asynchronous: -32768..32767."""
    BinningIndex: int
    """index into the BinningStr list: 0..1."""
    BinningStr: str
    """binning: Binning OFF, Vertical Binning."""
    OutputBitAllocation: int
    """0 10-bit, 1 8-bit output: -32768..32767."""
    @property
    def FrameGrabberIndex(self) -> int:
        """frame grabber of the connection (0: COM port) (read-only)."""
    BlueGainLevel: int
    """blue gain (0 is 0 dB): -231..231."""
    BlueBlackLevel: int
    """blue black level: 0..1023."""
    ProgrammableExposureRed: int
    """programmable exposure, red: 0..791."""
    ProgrammableExposureGreen: int
    """programmable exposure, green: 0..791."""
    ProgrammableExposureBlue: int
    """programmable exposure, blue: 0..791."""
    BlueKneePoint: int
    """blue knee point: 0..1023."""
    RedKneeSlope: int
    """red knee slope: 1..4095."""
    RedGainLevel: int
    """red gain (0 is 0 dB): -231..231."""
    RedBlackLevel: int
    """red black level: 0..1023."""
    GreenKneePoint: int
    """green knee point: 0..1023."""
    RedKneePoint: int
    """red knee point: 0..1023."""
    KneeSelect: int
    """0 on, 1 off: -32768..32767."""
    WhiteBalanceIndex: int
    """index into the WhiteBalanceStr list: 0..4."""
    WhiteBalanceStr: str
    """white balance mode: Manual/One Push, Continuous AWB, 3200 K, 4600 K, 5600 K."""
    UserID: str
    """user ID, 1 to 16 printable characters: text."""
    GreenKneeSlope: int
    """green knee slope: 1..4095."""
    BlueKneeSlope: int
    """blue knee slope: 1..4095."""
    GreenBlackLevel: int
    """green black level: 0..1023."""
    ShadingMode: int
    """0 on, 1 off: -32768..32767."""
    AutoWhiteAreaIndex: int
    """index into the AutoWhiteAreaStr list: 0..9."""
    AutoWhiteAreaStr: str
    """auto white balance area: Full Area, Upper Left, Upper Middle, Upper Right, Middle Left, Middle, Midle Right, Lower Left, Under Middle, Lower Right."""
    Red3200KWBalPreset: int
    """white balance preset, red, 3200 K: -231..231."""
    Blue3200KWBalPreset: int
    """white balance preset, blue, 3200 K: -231..231."""
    Red4600KWBalPreset: int
    """white balance preset, red, 4600 K: -231..231."""
    Blue4600KWBalPreset: int
    """white balance preset, blue, 4600 K: -231..231."""
    Red5600KWBalPreset: int
    """white balance preset, red, 5600 K: -231..231."""
    Blue5600KWBalPreset: int
    """white balance preset, blue, 5600 K: -231..231."""
    @property
    def CameraID(self) -> str:
        """camera ID (read-only)."""
    @property
    def ModelName(self) -> str:
        """model name (read-only)."""
    @property
    def FirmwareVersion(self) -> int:
        """firmware version (read-only)."""
    @property
    def EEPROMCurrentAreaNo(self) -> int:
        """settings area the camera runs from (0 factory, 1..3 user) (read-only)."""

class Simulator:
    def __init__(self, **options: Any) -> None: ...
    def __enter__(self) -> "Simulator": ...
    def __exit__(self, *exc: object) -> None: ...
    @property
    def device(self) -> str: ...
    @property
    def running(self) -> bool: ...
    def stop(self) -> None: ...
    def close(self) -> None: ...
    def set_faults(self, **faults: Union[bool, int]) -> None: ...
    def value(self, mnemonic: str) -> int: ...
    def set_value(self, mnemonic: str, value: int) -> None: ...
    @property
    def received(self) -> list[str]: ...
    def clear_received(self) -> None: ...
