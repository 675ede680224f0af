#!/usr/bin/env python3
"""Builds the Debian package of a build folder the way `make package` does and
checks it: lintian finds no error or warning, the library dependencies were
worked out, the maintainer scripts that reload udev are in it, and it holds
the same files as the tree that `make install` lays out.

usage: check_deb.py BUILD_DIR
"""
import glob
import os
import subprocess
import sys
import tempfile

from checks import check, report

def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def tree(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add("/" + os.path.relpath(os.path.join(folder, name), root))
    return found


def main(build_dir):
    with tempfile.TemporaryDirectory(prefix="kelvo-deb-") as scratch:
        built = run(["cpack", "-G", "DEB", "-B", scratch], cwd=build_dir)
        debs = glob.glob(os.path.join(scratch, "*.deb"))
        if not check(built.returncode == 0 and len(debs) == 1, f"cpack: {built.stdout}{built.stderr}"):
            return report()
        deb = debs[0]

        lintian = run(["lintian", "--fail-on", "error,warning", deb])
        check(lintian.returncode == 0, f"lintian:\n{lintian.stdout}")

        fields = run(["dpkg-deb", "--field", deb]).stdout
        depends = next((line for line in fields.splitlines() if line.startswith("Depends:")), "")
        # shlibdeps ran: the libraries the program links are named, as are the
        # plugins it loads by name.
        for package in ("libqt6widgets6", "libusb-1.0-0", "libhidapi-hidraw0", "gstreamer1.0-plugins-good"):
            check(package in depends, f"Depends lacks {package}: {depends}")

        control = os.path.join(scratch, "control")
        run(["dpkg-deb", "--control", deb, control])
        for script in ("postinst", "postrm"):
            path = os.path.join(control, script)
            if check(os.path.isfile(path), f"no {script}"):
                check(os.access(path, os.X_OK), f"{script} is not executable")
                with open(path) as f:
                    check("udevadm control --reload-rules" in f.read(), f"{script} does not reload udev rules")

        unpacked = os.path.join(scratch, "unpacked")
        run(["dpkg-deb", "--extract", deb, unpacked])
        staged = os.path.join(scratch, "staged")
        installed = run(["cmake", "--install", build_dir, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=staged))
        check(installed.returncode == 0, f"cmake --install: {installed.stderr}")
        in_deb, in_tree = tree(unpacked), tree(staged)
        check(in_deb == in_tree,
              f"package and install tree differ: only in the package {sorted(in_deb - in_tree)}, "
              f"only installed {sorted(in_tree - in_deb)}")
    return report()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
