"""vexq4.SETTINGS and the attributes made from it: every setting is there,
with the ranges the control's property setters accept, and each goes to the
camera under its own mnemonic."""

import ast
import os
import pathlib
import subprocess

import pytest

import vexq4
from conftest import commands

# The ranges of the automation properties, as the control checks them.
RANGES = {
    "ShutterSpeedIndex": (0, 11), "TriggerTypeIndex": (0, 4), "PartialScanIndex": (0, 3),
    "BinningIndex": (0, 1), "WhiteBalanceIndex": (0, 4), "AutoWhiteAreaIndex": (0, 9),
    "MasterGainLevel": (-132, 429), "RedGainLevel": (-231, 231), "BlueGainLevel": (-231, 231),
    "RedBlackLevel": (0, 1023), "GreenBlackLevel": (0, 1023), "BlueBlackLevel": (0, 1023),
    "RedKneePoint": (0, 1023), "GreenKneePoint": (0, 1023), "BlueKneePoint": (0, 1023),
    "RedKneeSlope": (1, 4095), "GreenKneeSlope": (1, 4095), "BlueKneeSlope": (1, 4095),
    "ProgrammableExposure": (0, 791), "ProgrammableExposureRed": (0, 791),
    "ProgrammableExposureGreen": (0, 791), "ProgrammableExposureBlue": (0, 791),
    "Red3200KWBalPreset": (-231, 231), "Blue3200KWBalPreset": (-231, 231),
    "Red4600KWBalPreset": (-231, 231), "Blue4600KWBalPreset": (-231, 231),
    "Red5600KWBalPreset": (-231, 231), "Blue5600KWBalPreset": (-231, 231),
}
# Properties whose setter checks nothing: any 16-bit value goes to the model.
UNCHECKED = ["TriggerPolarity", "ShutterMode", "RCTFVALType", "Smearless", "ColorBar",
             "TriggerInput", "Accumulation", "OutputBitAllocation", "KneeSelect", "ShadingMode"]
LISTS = {"ShutterSpeedStr": 12, "TriggerTypeStr": 5, "PartialScanStr": 4, "BinningStr": 2,
         "WhiteBalanceStr": 5, "AutoWhiteAreaStr": 10}


def test_the_table_describes_every_automation_property():
    s = vexq4.SETTINGS
    with pytest.raises(TypeError):
        s["MasterGainLevel"] = None  # read-only
    dispids = [i.dispid for i in s.values() if i.dispid]
    # The control's 51 first properties less the four window switches, which
    # belong to the control; a setting added later has a DISPID of its own.
    assert len(set(dispids)) == len(dispids)
    assert set(range(1, 52)) - {2, 3, 4, 5} <= set(dispids)
    assert not {2, 3, 4, 5} & set(dispids)
    for name, (low, high) in RANGES.items():
        assert (s[name].minimum, s[name].maximum, s[name].kind) == (low, high, "int"), name
    for name in UNCHECKED:
        assert (s[name].minimum, s[name].maximum, s[name].checked) == (-32768, 32767, False)
    for name, count in LISTS.items():
        info = s[name]
        assert info.kind == "list" and len(info.choices) == count
        assert info.mnemonic == s[name[:-3] + "Index"].mnemonic
    assert s["AutoWhiteAreaStr"].choices[6] == "Midle Right"
    assert (s["MasterGainLevel"].mnemonic, s["MasterGainLevel"].code, s["MasterGainLevel"].dispid) == ("GA", 12, 12)
    assert s["UserID"].kind == "text" and not s["UserID"].read_only
    assert all(s[n].read_only for n in ["ComPort", "FrameGrabberIndex", "CameraID", "ModelName",
                                        "FirmwareVersion", "EEPROMCurrentAreaNo"])


def test_every_setting_is_an_attribute_with_its_help():
    text = vexq4.Camera.__doc__ + "".join(
        getattr(vexq4.Camera, n).__doc__ or "" for n in vexq4.SETTINGS)
    for name, info in vexq4.SETTINGS.items():
        attribute = getattr(vexq4.Camera, name)
        assert isinstance(attribute, property), name
        assert (attribute.fset is None) == info.read_only, name
        assert info.doc in attribute.__doc__
    assert "one thread at a time" in text


def test_the_stubs_declare_every_setting():
    stub = pathlib.Path(vexq4.__file__).with_name("__init__.pyi")
    tree = ast.parse(stub.read_text())
    camera = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "Camera")
    declared = {n.target.id for n in camera.body if isinstance(n, ast.AnnAssign)}
    declared |= {n.name for n in camera.body if isinstance(n, ast.FunctionDef)}
    assert set(vexq4.SETTINGS) <= declared
    assert {"read_all", "shading_load", "on_change", "online"} <= declared


def test_every_setting_refuses_values_beyond_its_range(cam, sim):
    for name, info in vexq4.SETTINGS.items():
        if info.read_only:
            continue
        if info.kind == "int":
            for bad in (info.minimum - 1, info.maximum + 1):
                with pytest.raises(ValueError, match=name):
                    setattr(cam, name, bad)
        elif info.kind == "list":
            with pytest.raises(ValueError, match=name):
                setattr(cam, name, info.choices[-1].lower() + " ")
    assert sim.received == []


def test_every_setting_reaches_the_camera_at_its_bounds(cam, sim):
    # One value per setting, the bounds taken in turn; a list setting by its
    # last or first text. Each setting once: an ...Index and its ...Str
    # share the camera's parameter.
    values, expected, seen = {}, {}, set()
    for i, (name, info) in enumerate(vexq4.SETTINGS.items()):
        if info.read_only or info.kind == "text" or info.mnemonic in seen:
            continue
        seen.add(info.mnemonic)
        high = i % 2 == 0
        if info.kind == "list":
            values[name] = info.choices[-1 if high else 0]
            expected[info.mnemonic] = len(info.choices) - 1 if high else 0
        else:
            values[name] = info.maximum if high else info.minimum
            expected[info.mnemonic] = values[name]
    cam.set(**values)
    sent = commands(sim)
    assert sorted(line.split("=")[0] for line in sent) == sorted(expected)
    for mnemonic, value in expected.items():
        assert sim.value(mnemonic) == value, mnemonic
    for name, value in values.items():
        assert getattr(cam, name) == value, name


def test_settings_are_what_vexq4_list_prints(sim):
    # The same camera through the command-line host: every setting the same,
    # the device camera's COM port number included. settings() has the
    # firmware version too, which `vexq4 identity` prints.
    cli = pathlib.Path(os.environ.get("VEXQ4_BUILD_DIR", "build")) / "bin" / "vexq4"
    if not cli.exists():
        pytest.skip("vexq4 is not built")
    sim.set_value("GA", 123)
    with vexq4.Camera(device=sim.device, fast_reads=True) as cam:
        values = cam.settings()
    assert set(values) == set(vexq4.SETTINGS) and values["FirmwareVersion"] == 120
    env = {k: v for k, v in os.environ.items() if not k.startswith("VEXQ4_COM")}
    run = subprocess.run([cli, "--device", sim.device, "--fast-reads", "list"],
                         capture_output=True, text=True, timeout=60, env=env)
    assert run.returncode == 0, run.stderr
    printed = dict(line.split("=", 1) for line in run.stdout.splitlines())
    shown = {name: f'"{value}"' if isinstance(value, str) else str(value)
             for name, value in values.items() if name != "FirmwareVersion"}
    assert printed == shown
    assert printed["ComPort"] == "1" and printed["MasterGainLevel"] == "123"
