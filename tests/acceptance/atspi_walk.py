#!/usr/bin/python3
"""Reads the running viewer's accessible tree as a screen reader does, over
AT-SPI, and checks what a blind user would meet: the on-screen menu's rows
by name and the selection moving with the keys and the camera's buttons, the
floating controls' roles and values, and the picture's description with its
change announced.

Run on an X server inside a private session bus, with the viewer as the
only argument:

    xvfb-run -a -s "-screen 0 1600x1200x24" dbus-run-session -- \\
        /usr/bin/python3 tests/acceptance/atspi_walk.py build/src/app/kelvo-viewer
"""

import os
import plistlib
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

ROWS = ["Color Selection", "Horizontal Markers (None)", "Vertical Markers (None)", "White Balance (Normal)",
        "Show Audio Level Indicator", "Mirror Image", "Rotate screen (landscape)", "Product Information"]
failures = []


def check(what, ok, seen=""):
    print("%s %s%s" % ("ok  " if ok else "FAIL", what, "" if ok else "\n      seen: %s" % seen), flush=True)
    if not ok:
        failures.append(what)
    return ok


def pump(seconds):
    """Runs the bus's event dispatch for a while (events reach listeners here)."""
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while time.time() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(condition, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        try:
            value = condition()
            if value:
                return value
        except Exception:  # an object may go while it is read
            pass
        pump(0.1)
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    # The menus' hundreds of items are not what is looked for here.
    if node.getRoleName() in ("menu bar", "menu"):
        return
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find(app, name=None, role=None):
    for node in walk(app):
        if (name is None or node.name == name) and (role is None or node.getRoleName() == role):
            return node
    return None


def showing(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)


def selected_rows(listing):
    rows = [listing.getChildAtIndex(i) for i in range(listing.childCount)]
    return [r.name for r in rows if r.getState().contains(pyatspi.STATE_SELECTED)]


def key(name):
    subprocess.run(["xdotool", "key", name], check=False, timeout=10)
    pump(0.4)


def main():
    # A screen reader's call into a stuck program would wait for ever.
    signal.alarm(180)
    binary = os.path.abspath(sys.argv[1])
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    wm = subprocess.Popen(["openbox"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    root = tempfile.mkdtemp(prefix="kelvo-atspi-")
    home = os.path.join(root, "home")
    runtime = os.path.join(root, "runtime")
    settings = os.path.join(home, ".config", "kelvo-viewer", "com.morvane.KelvoViewer.plist")
    os.makedirs(os.path.dirname(settings))
    os.makedirs(runtime, mode=0o700)
    # A user who has set preferences before: no first-launch window.
    with open(settings, "wb") as f:
        plistlib.dump({"PreferredFilterList": [0, 2]}, f, fmt=plistlib.FMT_XML)
    control = os.path.join(root, "control")
    os.mkfifo(control)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=runtime,
               TMPDIR=root, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
               KELVO_SIMULATOR_CONTROL=control, KELVO_HELP_BROWSER="none")
    log = open(os.path.join(root, "viewer.log"), "wb")
    viewer = subprocess.Popen([binary, "--simulate"], stdout=log, stderr=subprocess.STDOUT, env=env, cwd=home)

    def camera(script):
        fd = os.open(control, os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fd, script.encode())
        finally:
            os.close(fd)
        pump(0.6)

    try:
        desktop = pyatspi.Registry.getDesktop(0)

        def application():
            for i in range(desktop.childCount):
                child = desktop.getChildAtIndex(i)
                if child is not None and child.name in ("kelvo-viewer", "Kelvo Viewer"):
                    return child
            return None

        app = wait_for(application, 30)
        if not check("the viewer is on the accessibility bus", app is not None):
            return
        picture = wait_for(lambda: find(app, "Camera picture"), 20)
        check("the picture area is named", picture is not None)
        if picture is not None:
            check("the picture says its zoom, colour and state", "Zoom level 1" in picture.description and
                  "live" in picture.description, picture.description)
            check("the picture can take the focus", picture.getState().contains(pyatspi.STATE_FOCUSABLE))

        listing = find(app, "On-screen menu", "list")
        check("the on-screen menu is hidden at start", listing is not None and not showing(listing))

        # Announcements of the picture's description.
        heard = []
        pyatspi.Registry.registerEventListener(
            lambda e: heard.append((e.source.name, e.source.description)),
            "object:property-change:accessible-description")
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Kelvo Viewer$"],
                                capture_output=True, text=True, timeout=30).stdout.split()
        for command in ("windowactivate", "windowfocus"):
            subprocess.run(["xdotool", command, "--sync", window[0]], check=False, timeout=10)
        # The picture is on screen once the window has its first frame.
        pump(2)
        key("ctrl+equal")
        check("a zoom is announced in the picture's description",
              wait_for(lambda: any(name == "Camera picture" and "Zoom level 2" in text for name, text in heard)),
              heard[-3:])

        key("o")
        listing = wait_for(lambda: (lambda l: l if showing(l) else None)(find(app, "On-screen menu", "list")), 15)
        if not check("O shows the on-screen menu", listing is not None):
            return
        names = [listing.getChildAtIndex(i).name for i in range(listing.childCount)]
        # Rows 4 and 6 say the meter's and the turn's state, which the
        # simulated camera's head position decides.
        check("the menu reads its eight rows by name", len(names) == 8 and all(
            name == row or (i in (4, 6) and name.split(" ")[-2:-1] == row.split(" ")[-2:-1]) or
            (i == 6 and name.startswith("Rotate screen (")) for i, (name, row) in enumerate(zip(names, ROWS))),
            names)
        check("the first row is selected", selected_rows(listing) == [ROWS[0]], selected_rows(listing))
        check("the menu's text has the keyboard focus",
              listing.getState().contains(pyatspi.STATE_FOCUSED), listing.getState().getStates())
        key("Down")
        check("Down selects the next row", wait_for(lambda: selected_rows(listing) == [ROWS[1]]),
              selected_rows(listing))
        camera("0 86\n")
        check("the camera's zoom-in button moves the selection up",
              wait_for(lambda: selected_rows(listing) == [ROWS[0]]), selected_rows(listing))
        camera("0 89\n")
        camera("0 83\n")
        check("the camera's mode button runs the row; the row reads its new state",
              wait_for(lambda: listing.getChildAtIndex(1).name == "Horizontal Markers (Lines)"),
              listing.getChildAtIndex(1).name)
        for _ in range(6):
            key("Down")
        key("Return")
        about = wait_for(lambda: next((n for n in walk(app) if n.getRoleName() == "text" and showing(n) and
                                       "Kelvo Viewer" in n.description), None), 5)
        check("Product Information reads as one text holding the product's name", about is not None)
        key("Escape")
        key("Escape")
        check("Escape hides the about box, then the menu", wait_for(lambda: not showing(listing)))

        gain = find(app, "Recording gain", "slider")
        if check("the gain is a slider", gain is not None):
            check("the gain gives its value", gain.queryValue().maximumValue > 0 and
                  gain.description == "Current volume", gain.description)
        meter = find(app, "Audio level")
        check("the audio meter is a level with a value", meter is not None and meter.queryValue() is not None)
        mark = find(app, "Recording")
        check("the recording mark is a picture", mark is not None and mark.getRoleName() == "image",
              mark and mark.getRoleName())
        battery = find(app, "Battery level")
        check("the battery level has a value", battery is not None and battery.queryValue() is not None)
    finally:
        viewer.terminate()
        try:
            viewer.wait(timeout=10)
        except subprocess.TimeoutExpired:
            viewer.kill()
        for process in (wm, bus):
            process.terminate()
        log.close()
    print("%d failure(s)" % len(failures))


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
