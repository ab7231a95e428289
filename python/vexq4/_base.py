"""The exceptions and small types of vexq4 (the extension raises these)."""

from __future__ import annotations

from dataclasses import dataclass
from typing import NamedTuple, Optional, Tuple


class Error(Exception):
    """A camera, port or file operation failed.

    ``status`` is the library's status code (-3 not acknowledged, -5 off-line,
    -6 time-out, ...; None where no code applies) and ``line`` the message
    line of the last exchange with the camera in that call (the query or
    command and its outcome, as the Communication window shows it), or None.
    """

    def __init__(self, message: str, status: Optional[int] = None, line: Optional[str] = None):
        super().__init__(message)
        self.status = status
        self.line = line


class OfflineError(Error):
    """The camera is off-line: the line is closed, or the camera stopped answering."""


class CameraTimeoutError(Error, TimeoutError):
    """The camera did not answer in time (no camera on the line, or it fell silent)."""


class NotAcknowledgedError(Error):
    """The camera did not take a command (no "COMPLETE"), or the line could not be written."""


class MalformedReplyError(Error):
    """A reply was not of the camera's form (no "=", no line end, a value not in its list)."""


class PortError(Error):
    """The line cannot be opened: no such device, no permission, in use, not a serial device,
    or a Camera Link library or port that is missing."""


class FileError(Error):
    """A file could not be read or written."""


class InvalidSettingsFileError(FileError):
    """The file is not a valid RX-Q4 settings file (its camera type or a value)."""


class ApplyError(Error):
    """apply() could not make the camera hold its file: ``failed`` maps each setting the
    camera did not take (refused, or read back with another value) to ``(camera, file)``;
    ``applied`` maps the settings that were changed to ``(old, new)``."""

    def __init__(self, message: str, failed: dict, applied: dict, status: Optional[int] = None,
                 line: Optional[str] = None):
        super().__init__(message, status, line)
        self.failed = failed
        self.applied = applied


class RefusedValueError(Error, ValueError):
    """The library refused a value (for example a user ID it cannot send)."""


class CameraBusyError(Error, RuntimeError):
    """The Camera is in use by another thread, or was called from its own callback."""


class Identity(NamedTuple):
    """The camera's identity, as identity() reads it."""

    camera_id: str
    model_name: str
    user_id: str
    firmware_version: int
    eeprom_area: int


@dataclass(frozen=True)
class SettingInfo:
    """One setting of vexq4.SETTINGS.

    ``kind`` is "int", "list" (one of ``choices``) or "text"; ``minimum`` and
    ``maximum`` bound an int as the control's property setter accepts it
    (``checked`` False: the setter itself checks nothing and the bounds are
    those of the property's 16-bit type); ``mnemonic`` and ``code`` name the
    camera's parameter; ``dispid`` the automation property.
    """

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
