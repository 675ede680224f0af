#!/usr/bin/env python3
"""Writes the update archives of the installer tests: a good install folder
and the broken or hostile ones. Usage: make_update_zip.py CASE OUT.zip"""
import stat
import sys
import zipfile

BUNDLE = "Kelvo Viewer.app/"
VIEWER = "#!/bin/sh\necho new >> \"$KELVO_TEST_OPENED\"\n"
# Notes each start, then runs the real relauncher. The running folder holds
# the same script: the shell reads it by path, maybe after the swap.
RELAUNCHER = "#!/bin/sh\necho \"$@\" >> \"$KELVO_TEST_RELAUNCHED\"\nexec \"$KELVO_TEST_BOOMEREL\" \"$@\"\n"


def add(z, name, data=b"", mode=0o644, kind=stat.S_IFREG):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = (kind | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, data)


def good(z):
    add(z, BUNDLE, mode=0o755, kind=stat.S_IFDIR)
    add(z, BUNDLE + "bin/kelvo-viewer", VIEWER, 0o755)
    add(z, BUNDLE + "libexec/kelvo-viewer/boomerel", RELAUNCHER, 0o755)
    add(z, BUNDLE + "share/kelvo-viewer/manual.html", "<p>manual</p>")
    add(z, BUNDLE + "share/link", "kelvo-viewer/manual.html", 0o777, stat.S_IFLNK)


CASES = {
    "good": good,
    "dotdot": lambda z: (good(z), add(z, BUNDLE + "../../x", "escaped")),
    "absolute": lambda z: (good(z), add(z, "/tmp/kelvo-absolute-entry", "escaped")),
    "symlink-out": lambda z: (good(z), add(z, BUNDLE + "etc", "/etc", 0o777, stat.S_IFLNK),
                              add(z, BUNDLE + "etc/kelvo-written", "escaped")),
    "relative-link-out": lambda z: (good(z), add(z, BUNDLE + "up", "../../..", 0o777, stat.S_IFLNK)),
    "device": lambda z: (good(z), add(z, BUNDLE + "dev", "", 0o666, stat.S_IFCHR)),
    "huge": lambda z: (good(z), add(z, BUNDLE + "zeros", b"\0" * (4 << 20))),
    "many": lambda z: (good(z), [add(z, BUNDLE + "f%d" % i) for i in range(300)]),
    "no-viewer": lambda z: add(z, BUNDLE + "share/readme", "no program"),
    "empty": lambda z: None,
}

if __name__ == "__main__":
    case, out = sys.argv[1], sys.argv[2]
    if case == "corrupt":
        with zipfile.ZipFile(out, "w") as z:
            good(z)
        data = bytearray(open(out, "rb").read())
        data[40:80] = b"\xff" * 40
        open(out, "wb").write(bytes(data))
    else:
        with zipfile.ZipFile(out, "w") as z:
            CASES[case](z)
