#!/usr/bin/env python3
"""Set a camera on the line up from a settings file, and check that it holds it.

    python3 examples/line_setup.py --device /dev/ttyUSB0 line3.cam
    python3 examples/line_setup.py --com 1 line3.cam
    python3 examples/line_setup.py --sim line3.cam        # the simulated camera

Applies the settings file (every setting is written to the camera, over 20 s),
reads every setting back from the camera, and prints each value of the file
that the camera does not hold:

    Gain/Gain Level for red: file 10, camera -12

Exit status: 0 the camera holds the file, 1 it does not (or the camera, the
port or the file failed), 2 bad arguments.
"""

import argparse
import configparser
import os
import sys
import tempfile

import vexq4


def read_cam_file(path):
    """The sections and keys of a settings file, as written (INI)."""
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str  # keys keep their letter case ("Gain Level for red")
    with open(path, encoding="latin-1") as f:
        parser.read_file(f)
    return parser


def same(a, b):
    try:
        return int(a) == int(b)
    except ValueError:
        return a == b


def differences(wanted_path, held_path):
    wanted, held = read_cam_file(wanted_path), read_cam_file(held_path)
    for section in ("Shutter", "Gain"):
        if not wanted.has_section(section):
            continue
        for key, value in wanted.items(section):
            camera = held.get(section, key, fallback="(missing)")
            if not same(value, camera):
                yield f"{section}/{key}: file {value}, camera {camera}"


def progress(what):
    def show(done, total):
        if sys.stderr.isatty():
            print(f"\r{what} {done}/{total}", end="" if done < total else "\n", file=sys.stderr)
    return show


def main():
    args = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    line = args.add_mutually_exclusive_group(required=True)
    line.add_argument("--device", help="serial device of the camera, e.g. /dev/ttyUSB0")
    line.add_argument("--com", type=int, help="COM port number ($VEXQ4_COM<n>, else /dev/ttyS<n-1>)")
    line.add_argument("--sim", action="store_true", help="the built-in simulated camera")
    args.add_argument("settings", help="settings file (.cam) to apply")
    opts = args.parse_args()

    connection = ({"device": opts.device} if opts.device else
                  {"com": opts.com} if opts.com else {"sim": True})
    try:
        with vexq4.Camera(**connection) as cam:
            cam.load_settings(opts.settings, progress=progress("writing"))
            # A write of all settings leaves the auto white area out: send it.
            cam.AutoWhiteAreaStr = cam.AutoWhiteAreaStr
            cam.read_all(progress=progress("reading back"))
            with tempfile.TemporaryDirectory() as folder:
                held = os.path.join(folder, "camera.cam")
                cam.save_settings(held)
                diff = list(differences(opts.settings, held))
    except vexq4.Error as e:
        print(f"line_setup: {e}", file=sys.stderr)
        return 1
    for entry in diff:
        print(entry)
    if diff:
        print(f"line_setup: the camera differs from {opts.settings} in {len(diff)} value(s)",
              file=sys.stderr)
        return 1
    print(f"the camera holds every setting of {opts.settings}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
