"""The package's texts, pinned byte for byte: every docstring of the module,
of vexq4.Camera and its members, vexq4.SETTINGS and the type stubs. They
are partly composed from the settings table, so a change there that moved
a single character shows here. VEXQ4_UPDATE_TEXTS=1 writes the files of
texts/ anew from the package (then read the difference before committing
it)."""

import os
import pathlib

import vexq4
import vexq4._vexq4 as extension

TEXTS = pathlib.Path(__file__).with_name("texts")


def pinned(name, text):
    path = TEXTS / name
    if os.environ.get("VEXQ4_UPDATE_TEXTS"):
        TEXTS.mkdir(exist_ok=True)
        path.write_text(text)
    assert text == path.read_text(), name


def docstrings():
    lines = ["module: " + repr(extension.__doc__)]
    for owner in (extension.Camera, extension.Simulator):
        lines.append(owner.__name__ + ": " + repr(owner.__doc__))
        for name in sorted(vars(owner)):
            if name.startswith("__") and name not in ("__init__", "__enter__", "__exit__"):
                continue
            lines.append("%s.%s: %r" % (owner.__name__, name, getattr(owner, name).__doc__))
    for name in sorted(vars(extension)):
        member = getattr(extension, name)
        if callable(member) and not isinstance(member, type):
            lines.append("%s: %r" % (name, member.__doc__))
    return "\n".join(lines) + "\n"


def test_docstrings_are_as_they_were():
    pinned("docstrings.txt", docstrings())


def test_settings_are_described_as_they_were():
    pinned("settings.txt", "".join("%r\n" % (info,) for info in vexq4.SETTINGS.values()))


def test_stubs_are_as_they_were():
    pinned("stubs.pyi", pathlib.Path(vexq4.__file__).with_name("__init__.pyi").read_text())


def refusal(call):
    try:
        call()
    except Exception as e:  # the class and the words are the pinned text
        return "%s: %s" % (type(e).__name__, e)
    return "no error"


def test_refusals_are_worded_as_they_were(cam):
    def assign(name, value):
        return lambda: setattr(cam, name, value)

    cases = [
        ("no line", lambda: vexq4.Camera()),
        ("two lines", lambda: vexq4.Camera(com=1, grabber=1)),
        ("com 0", lambda: vexq4.Camera(com=0)),
        ("com 255", lambda: vexq4.Camera(com=255)),
        ("grabber 17", lambda: vexq4.Camera(grabber=17)),
        ("clallserial -1", lambda: vexq4.Camera(clallserial=-1)),
        ("clallserial 32768", lambda: vexq4.Camera(clallserial=32768)),
        ("empty user ID", assign("UserID", "")),
        ("long user ID", assign("UserID", "x" * 17)),
        ("user ID with a tab", assign("UserID", "a\tb")),
        ("gain beyond", assign("MasterGainLevel", 430)),
        ("gain beyond 64 bits", assign("MasterGainLevel", 2 ** 70)),
        ("gain as text", assign("MasterGainLevel", "100")),
        ("gain as bool", assign("MasterGainLevel", True)),
        ("list text", assign("ShutterSpeedStr", "1/3")),
        ("read-only port", assign("ComPort", 3)),
        ("near name in set", lambda: cam.set(MasterGainLevle=1)),
        ("mnemonic in set", lambda: cam.set(GA=1)),
        ("mnemonic in get", lambda: cam.get("GA")),
        ("unknown in get", lambda: cam.get("Frobnicate")),
        ("store area", lambda: cam.store(4)),
        ("load area", lambda: cam.load(-1)),
    ]
    pinned("refusals.txt", "".join("%s: %s\n" % (what, refusal(call)) for what, call in cases))
