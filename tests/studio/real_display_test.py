#!/usr/bin/python3
"""vexq4-studio on a real X display, as an operator at the keyboard and a
screen reader meet it.

Each case starts a private session (display_session.py: Xvfb, a D-Bus
session and the accessibility bus), starts vexq4-studio --sim in it, works
it with real key events (xdotool, through the X server's XTEST) and reads
and presses it through the accessibility bus (AT-SPI), the way Orca does.

    real_display_test.py --studio build/bin/vexq4-studio CASE

Exit status 0 when the case passed, 1 when it failed, 77 (skipped) when this
machine lacks a part of the session (the line says which Debian package).
"""

import argparse
import os
import subprocess
import sys
import time
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import display_session  # noqa: E402

SKIPPED = 77
CAPTIONS = ["Shutter and Sync Signals", "Gain and Setup Levels", "Communication", "About"]
SECTIONS = ["Shutter", "Gain", "Communication", "About"]
STRIP = ["Shutter", "Gain", "Communication", "About"]

Atspi = None  # imported once the session's buses are in the environment


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def wait_for(what, predicate, timeout=30.0):
    """Polls the bus until `predicate` holds; its last value."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # a window being rebuilt answers with an error
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


# ---- The accessibility bus.

def role(node):
    return node.get_role_name()


def descendants(node):
    """The node and every part below it; a table's or list's entries are
    its data, not parts of the window, and are not walked."""
    yield node
    if node.get_role() in (Atspi.Role.TABLE, Atspi.Role.TREE, Atspi.Role.TREE_TABLE,
                           Atspi.Role.LIST):
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from descendants(child)


def find(root, role_name, name):
    for node in descendants(root):
        if role(node) == role_name and node.get_name() == name:
            return node
    return None


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def checked(node):
    return node.get_state_set().contains(Atspi.StateType.CHECKED)


def actions(node):
    action = node.get_action_iface()
    if action is None:
        return []
    return [action.get_action_name(i) for i in range(action.get_n_actions())]


def act(node, name):
    action = node.get_action_iface()
    names = actions(node)
    check(name in names, f"{role(node)} \"{node.get_name()}\" has no action {name}: {names}")
    check(action.do_action(names.index(name)), f"{name} on \"{node.get_name()}\" failed")


def text_of(node):
    text = node.get_text_iface()
    return text.get_text(0, text.get_character_count()) if text else ""


class Studio:
    """vexq4-studio --sim in the session, with a private profile."""

    def __init__(self, session, program, open_windows=()):
        self.session = session
        self.profile = os.path.join(session.folder, "profile")
        os.makedirs(self.profile)
        with open(os.path.join(self.profile, "XVexQ4.ini"), "w", newline="") as f:
            for i, section in enumerate(SECTIONS):
                # Side by side, so that each is on the screen whole.
                f.write(f"[{section}]\r\nTopLeftX={20 + 380 * i}\r\nTopLeftY=720\r\n"
                        f"Is Visible={1 if i in open_windows else 0}\r\n")
        self.process = session.spawn(
            [program, "--sim"], "studio",
            {"VEXQ4_PROFILE_DIR": self.profile,
             "VEXQ4_REGISTRY_DIR": os.path.join(session.folder, "registry"),
             # Qt 6.4 serves its tree only to a bus that says a screen
             # reader is running, or when told to always.
             "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
             "QT_QPA_PLATFORM": "xcb"})
        self.app = wait_for("vexq4-studio on the accessibility bus", self._find_app)
        self.app.set_cache_mask(Atspi.Cache.NONE)  # every answer is the window's now
        self.main = wait_for("the studio's window", lambda: self.window("frame", "vexq4-studio - "))
        self.window_id = wait_for("the studio's X window", lambda: self._x_window("^vexq4-studio - "))

    def _find_app(self):
        if self.process.poll() is not None:
            raise SystemExit(f"vexq4-studio ended ({self.process.returncode}):\n"
                             + self.session.log("studio"))
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == "vexq4-studio":
                return app
        return None

    def _x_window(self, pattern):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                               env=self.session.env, capture_output=True, text=True, timeout=20)
        ids = found.stdout.split()
        return ids[0] if ids else None

    def window(self, role_name, caption):
        """A top-level window (frame or dialog) by its caption (or its start)."""
        for i in range(self.app.get_child_count()):
            child = self.app.get_child_at_index(i)
            if child is not None and role(child) == role_name and (
                    child.get_name() == caption or
                    (caption.endswith(" - ") and child.get_name().startswith(caption))):
                return child
        return None

    def tool_window(self, i):
        """The tool window `i` while it is shown, else None."""
        frame = self.window("dialog", CAPTIONS[i])
        return frame if frame is not None and showing(frame) else None

    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "30", *keys], env=self.session.env,
                       check=True, timeout=30)

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text], env=self.session.env,
                       check=True, timeout=30)

    def focus_main_window(self):
        # No window manager here: the test gives the studio the keyboard.
        subprocess.run(["xdotool", "windowfocus", "--sync", self.window_id],
                       env=self.session.env, check=True, timeout=20)
        wait_for("the studio's window active",
                 lambda: self.main.get_state_set().contains(Atspi.StateType.ACTIVE))

    def focused(self, root):
        for node in descendants(root):
            if node.get_state_set().contains(Atspi.StateType.FOCUSED):
                return node
        return None

    def profile_value(self, section, key):
        current = None
        with open(os.path.join(self.profile, "XVexQ4.ini"), newline="") as f:
            for line in f.read().splitlines():
                if line.startswith("["):
                    current = line.strip("[]")
                elif current == section and line.split("=", 1)[0] == key:
                    return line.split("=", 1)[1]
        return None


# ---- The cases.

def case_keyboard(studio):
    """Each tool window opens and closes by keyboard; a gain value typed
    with real key events reaches the simulated camera."""
    studio.focus_main_window()
    for i in range(4):
        studio.keys(f"ctrl+{i + 1}")
        frame = wait_for(f"{CAPTIONS[i]} shown by Ctrl+{i + 1}", lambda: studio.tool_window(i))
        check(checked(find(studio.main, "check box", STRIP[i])), f"{STRIP[i]} not pressed")
        # The window has the keyboard: Esc closes it, and the keyboard goes
        # back to the studio's window.
        wait_for(f"{CAPTIONS[i]} active",
                 lambda: frame.get_state_set().contains(Atspi.StateType.ACTIVE))
        studio.keys("Escape")
        wait_for(f"{CAPTIONS[i]} closed by Esc", lambda: studio.tool_window(i) is None)
        wait_for("the studio's window active again",
                 lambda: studio.main.get_state_set().contains(Atspi.StateType.ACTIVE))

    # Into the Gain window, Tab to the master gain, type a value.
    studio.keys("ctrl+2")
    gain = wait_for("the Gain window", lambda: studio.tool_window(1))
    wait_for("the Gain window active",
             lambda: gain.get_state_set().contains(Atspi.StateType.ACTIVE))
    wait_for("the first control focused", lambda: studio.focused(gain))
    check(studio.focused(gain).get_name() == "Manual/One Push",
          f"first stop is {studio.focused(gain).get_name()}, not the white balance list")
    studio.keys("Tab", "Tab", "Tab", "Tab")
    box = wait_for("the master gain focused",
                   lambda: (lambda f: f if f is not None and f.get_name() == "Gain Level: Master"
                            else None)(studio.focused(gain)))
    studio.type("100")
    wait_for("100 in the box", lambda: text_of(box) == "100")
    studio.keys("Up")
    wait_for("101 in the box", lambda: text_of(box) == "101")
    log = find(studio.main, "text", "Event log")
    check(log is not None, "no event log")
    wait_for("the camera's COMPLETE for GA=100 and GA=101 in the event log",
             lambda: "GA=100 | COMPLETE" in text_of(log) and "GA=101 | COMPLETE" in text_of(log))
    # The shortcut closes the window it opened, from inside it.
    studio.keys("ctrl+2")
    wait_for("the Gain window closed by Ctrl+2", lambda: studio.tool_window(1) is None)
    check(studio.profile_value("Gain", "Master Gain Level") == "101", "the profile missed 101")


def case_bus(studio):
    """Names, roles, descriptions and actions as a screen reader finds them,
    and the strip's buttons pressed through the bus."""
    for i in range(4):
        wait_for(f"{CAPTIONS[i]} shown", lambda: studio.tool_window(i))
    roots = [studio.main] + [studio.tool_window(i) for i in range(4)]
    unnamed = []
    for root in roots:
        check(root is studio.main or role(root) == "dialog", f"{root.get_name()} is no dialog")
        for node in descendants(root):
            r = role(node)
            if r in ("filler", "separator") or node.get_name():
                continue
            parent = node.get_parent()
            if r == "list" and parent is not None and role(parent) == "combo box":
                continue  # a list's drop-down, presented as part of it
            unnamed.append(f"{r} in {root.get_name()}")
    check(not unnamed, "unnamed on the bus: " + ", ".join(unnamed))

    # The spin buttons' arrows, named after their spin buttons.
    for i, count in ((1, 24), (0, 8)):
        arrows = [n for n in descendants(studio.tool_window(i))
                  if role(n) == "push button" and n.get_name().endswith((" spin up", " spin down"))]
        check(len(arrows) == count, f"{len(arrows)} named arrows in {CAPTIONS[i]}, not {count}")
    master = find(studio.tool_window(1), "spin button", "Gain Level: Master spin")
    check(master is not None and master.get_value_iface() is not None, "no master gain spin button")
    check(master.get_value_iface().get_maximum_value() == 429, "the spin's range is not the gain's")

    # The link is a link with an action; the indicators say what they show.
    about = studio.tool_window(3)
    links = [n for n in descendants(about) if role(n) == "link"]
    check(len(links) == 1 and links[0].get_name().startswith("https://"), "no web link")
    check(actions(links[0]) and actions(links[0])[0] == "Press", "the link has no action")
    comm = studio.tool_window(2)
    for r, name, description in (("label", "Status: online", "On-line"),
                                 ("image", "Status: online", "online"),
                                 ("label", "Synchronize: status", "Not Synchronized")):
        node = find(comm, r, name)
        check(node is not None and node.get_description() == description,
              f"{r} {name}: {node.get_description() if node else 'missing'}")
    bar = find(studio.tool_window(1), "image", "online bar")
    check(bar is not None and bar.get_description() == "online", "the online bar says nothing")

    # Each strip button through its accessibility action, as a switch device
    # presses it: the window goes and comes with the button.
    for i in range(4):
        button = find(studio.main, "check box", STRIP[i])
        check(button is not None and checked(button), f"{STRIP[i]} not pressed")
        act(button, "Toggle")
        wait_for(f"{CAPTIONS[i]} hidden by the bus", lambda: studio.tool_window(i) is None)
        check(not checked(button), f"{STRIP[i]} still pressed")
        check(studio.profile_value(SECTIONS[i], "Is Visible") == "0", "profile not 0")
        act(button, "Toggle")
        wait_for(f"{CAPTIONS[i]} shown by the bus", lambda: studio.tool_window(i))
        check(checked(button), f"{STRIP[i]} not pressed again")


def case_quit(studio):
    """File > Quit (Ctrl+Q) keeps the open windows for the next start."""
    for i in (1, 3):
        wait_for(f"{CAPTIONS[i]} shown", lambda: studio.tool_window(i))
    studio.focus_main_window()
    studio.keys("ctrl+q")
    status = studio.process.wait(timeout=30)
    check(status == 0, f"exit status {status}")
    for i in range(4):
        expected = "1" if i in (1, 3) else "0"
        value = studio.profile_value(SECTIONS[i], "Is Visible")
        check(value == expected, f"{SECTIONS[i]}: Is Visible={value}, not {expected}")
        # Where the operator left a window is where it comes back: no creep.
        for key, stored in (("TopLeftX", 20 + 380 * i), ("TopLeftY", 720)):
            value = studio.profile_value(SECTIONS[i], key)
            check(value == str(stored), f"{SECTIONS[i]}: {key}={value}, not {stored}")


CASES = {
    "keyboard": (case_keyboard, ()),
    "bus": (case_bus, (0, 1, 2, 3)),
    "quit": (case_quit, (1, 3)),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--studio", required=True, help="the vexq4-studio to run")
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    missing = display_session.missing_parts()
    if missing:
        print("SKIP: a real display needs " + "; ".join(missing) +
              " (scripts/test installs them)")
        return SKIPPED
    run, open_windows = CASES[args.case]
    with display_session.DisplaySession() as session:
        os.environ.update(session.env)
        global Atspi
        warnings.simplefilter("ignore", DeprecationWarning)
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi as atspi
        import pyatspi  # noqa: F401  (the package that brings the bindings)
        Atspi = atspi
        try:
            run(Studio(session, args.studio, open_windows))
        except AssertionError as failure:
            print(f"FAILED: {failure}\n--- vexq4-studio said:\n{session.log('studio')}")
            return 1
    print(f"ok: {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
