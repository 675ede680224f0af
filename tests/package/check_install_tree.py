#!/usr/bin/env python3
"""Installs a build into a scratch folder as the package does and checks the
tree a desktop and udev will read: every file in its place, helpers
executable, the camera rule identical to the one built into the program, and
the desktop entry and AppStream data valid and pointing at installed files.

usage: check_install_tree.py BUILD_DIR
"""
import configparser
import gzip
import os
import stat
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from checks import check, report

APP_ID = "com.morvane.KelvoViewer"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
RULE = "lib/udev/rules.d/70-kelvo-quadrel.rules"

def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


def main(build_dir):
    with tempfile.TemporaryDirectory(prefix="kelvo-install-") as destdir:
        env = dict(os.environ, DESTDIR=destdir)
        installed = subprocess.run(
            ["cmake", "--install", build_dir, "--prefix", "/usr"], env=env, capture_output=True, text=True
        )
        if installed.returncode != 0:
            print(installed.stdout, installed.stderr)
            return 1
        root = os.path.join(destdir, "usr")

        def at(relative):
            return os.path.join(root, relative)

        executables = ["bin/kelvo-viewer", "libexec/kelvo-viewer/boomerel"]
        files = executables + [
            RULE,
            f"share/applications/{APP_ID}.desktop",
            f"share/metainfo/{APP_ID}.metainfo.xml",
            f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
            "share/kelvo-viewer/help/index.html",
            "share/kelvo-viewer/help/mode-00.png",
            "share/kelvo-viewer/help/mode-30.png",
            "share/man/man1/kelvo-viewer.1.gz",
            "share/doc/kelvo-viewer/copyright",
            "share/doc/kelvo-viewer/changelog.gz",
        ] + [f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in ICON_SIZES]
        for relative in files:
            check(os.path.isfile(at(relative)), f"missing: {relative}")
        for relative in executables:
            if os.path.isfile(at(relative)):
                mode = os.stat(at(relative)).st_mode
                check(mode & stat.S_IXOTH and mode & stat.S_IROTH, f"not executable by everyone: {relative}")

        # Everything else readable by every user, nothing writable by others.
        for folder, _, names in os.walk(root):
            for name in names:
                mode = os.stat(os.path.join(folder, name)).st_mode
                check(mode & stat.S_IROTH and not mode & stat.S_IWOTH,
                      f"bad permissions {oct(mode)}: {os.path.relpath(os.path.join(folder, name), root)}")

        # The program tells an installed rule from an outdated one by comparing
        # it with the copy compiled into it, byte for byte.
        if os.path.isfile(at(RULE)) and os.path.isfile(at("bin/kelvo-viewer")):
            with open(at(RULE), "rb") as f:
                rule = f.read()
            with open(at("bin/kelvo-viewer"), "rb") as f:
                program = f.read()
            check(b'TAG+="uaccess"' in rule, "the installed rule grants no access")
            check(rule + b"\0" in program, "the installed rule differs from the one built into kelvo-viewer")

        for s in ICON_SIZES:
            path = at(f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png")
            if os.path.isfile(path):
                check(png_size(path) == (s, s), f"icon {s}x{s} is {png_size(path)}")

        for relative in ("share/man/man1/kelvo-viewer.1.gz", "share/doc/kelvo-viewer/changelog.gz"):
            if os.path.isfile(at(relative)):
                with gzip.open(at(relative), "rb") as f:
                    check(len(f.read()) > 0, f"empty: {relative}")
                with open(at(relative), "rb") as f:
                    # a time stamp would make two builds of one version differ
                    check(f.read(8)[4:8] == b"\0\0\0\0", f"time-stamped gzip: {relative}")

        desktop = at(f"share/applications/{APP_ID}.desktop")
        if os.path.isfile(desktop):
            result = run("desktop-file-validate", desktop)
            check(result.returncode == 0 and not result.stdout.strip(),
                  f"desktop-file-validate: {result.stdout}{result.stderr}")
            entry = configparser.ConfigParser(interpolation=None)
            entry.optionxform = str
            entry.read(desktop)
            section = entry["Desktop Entry"]
            check(os.path.isfile(at(os.path.join("bin", section.get("Exec", "").split(" ")[0]))),
                  f"Exec names no installed program: {section.get('Exec')}")
            check(section.get("Icon") == APP_ID, f"Icon is {section.get('Icon')}")

        metainfo = at(f"share/metainfo/{APP_ID}.metainfo.xml")
        if os.path.isfile(metainfo):
            result = run("appstreamcli", "validate", "--no-net", "--pedantic", metainfo)
            check(result.returncode == 0, f"appstreamcli validate: {result.stdout}{result.stderr}")
            component = ET.parse(metainfo).getroot()
            check(component.findtext("id") == APP_ID, "metainfo id differs from the app id")
            check(component.findtext("launchable") == f"{APP_ID}.desktop", "metainfo launches another desktop entry")
            check(component.findtext("provides/binary") == "kelvo-viewer", "metainfo provides another binary")
            # Software centres offer the package for the camera by these.
            modaliases = [m.text.lower() for m in component.iterfind("provides/modalias")]
            with open(at(RULE)) as f:
                rule_text = f.read().lower()
            for alias in modaliases:
                product = alias.split("p")[1][:4]
                check(f'"{product}"' in rule_text, f"{alias} is not a camera the rule grants access to")
            check(len(modaliases) >= 1, "metainfo names no camera")
            image = component.find("screenshots/screenshot/image")
            source_tree = os.path.join(os.path.dirname(__file__), "..", "..")
            shipped = os.path.join(source_tree, "share", "screenshots", os.path.basename(image.text))
            check(os.path.isfile(shipped), f"no screenshot {shipped} in the source tree")
            if os.path.isfile(shipped):
                check(png_size(shipped) == (int(image.get("width")), int(image.get("height"))),
                      "screenshot size in the metainfo differs from the picture")

    return report()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
