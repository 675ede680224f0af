#!/usr/bin/env python3
"""The live picture's cost, delay and memory against a plain GStreamer pipeline.

On a private Xvfb (1920x1080, no GPU: Mesa's software OpenGL), in one run:
  - gst-launch-1.0 <source> ! videoconvert ! ximagesink, the obvious alternative;
  - the viewer on the same source (KELVO_VIDEO_SOURCE), colour mode 10, digital
    zoom 2 (zoom level 11), by its own choice of render path and forced onto
    each path (--render=cpu, --render=gpu);
  - the viewer with its picture frozen;
  - the viewer's resident memory after 1 minute (and 10 with --long);
  - the test source alone into a fakesink, whose cost both of them include.
CPU is the process's user + system time over the same wall-clock window.
The delay is from a buffer leaving the source to the paint that shows it
having been flushed (KELVO_RENDER_TRACE).

Prints lines "<name> <value>"; the machine's load is not controlled, so
compare ratios within one run and repeat.
"""
import argparse
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOURCE = ("videotestsrc is-live=true pattern=smpte ! "
          "video/x-raw,format=UYVY,width=1920,height=1080,framerate=30/1")
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def measure_cpu(proc, seconds):
    """Cores used by the process over the next `seconds`."""
    start_cpu, start = cpu_seconds(proc.pid), time.monotonic()
    time.sleep(seconds)
    if proc.poll() is not None:
        raise RuntimeError("process ended while measured")
    return (cpu_seconds(proc.pid) - start_cpu) / (time.monotonic() - start)


def percentile(values, fraction):
    values = sorted(values)
    return values[min(len(values) - 1, int(fraction * len(values)))]


class Display:
    def __init__(self):
        for number in range(90, 140):
            if not os.path.exists("/tmp/.X11-unix/X%d" % number) and not os.path.exists("/tmp/.X%d-lock" % number):
                break
        self.name = ":%d" % number
        self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X%d" % number):
                return
            time.sleep(0.05)
        raise RuntimeError("Xvfb did not start")

    def close(self):
        self.proc.terminate()
        self.proc.wait()


class Viewer:
    def __init__(self, binary, display, workdir, name, args):
        self.home = os.path.join(workdir, name)
        config = os.path.join(self.home, ".config", "kelvo-viewer")
        os.makedirs(config)
        os.makedirs(os.path.join(self.home, "runtime"), mode=0o700)
        camera = {"ChosenPreferredColorMode": 0, "ZoomLevel": 11}
        settings = {"PreferredFilterList": [10], "UserHasSetPreferences": True}
        for orientation in range(4):
            settings["%d:kelvo-video-source" % orientation] = dict(camera)
        with open(os.path.join(config, "com.morvane.KelvoViewer.plist"), "wb") as f:
            plistlib.dump(settings, f, fmt=plistlib.FMT_XML)
        self.trace = os.path.join(self.home, "trace")
        env = dict(os.environ, DISPLAY=display.name, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"), QT_QPA_PLATFORM="xcb",
                   KELVO_VIDEO_SOURCE=SOURCE, KELVO_RENDER_TRACE=self.trace, KELVO_HELP_BROWSER="none")
        self.log = open(os.path.join(self.home, "log"), "wb")
        self.proc = subprocess.Popen([binary] + args, env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.display = display

    def delays_ms(self):
        try:
            with open(self.trace) as f:
                return [int(line.split()[1]) / 1000.0 for line in f if line.startswith("shown ")]
        except OSError:
            return []

    def path_line(self):
        with open(self.log.name, errors="replace") as f:
            for line in f:
                if line.startswith("Live picture drawn on the"):
                    return line.strip()
        return "(no path logged)"

    def freeze(self):
        env = dict(os.environ, DISPLAY=self.display.name)
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)], env=env,
                             capture_output=True, text=True).stdout.split()
        if not ids:
            raise RuntimeError("no viewer window")
        subprocess.run(["xdotool", "windowfocus", "--sync", ids[-1]], env=env, timeout=10)
        subprocess.run(["xdotool", "key", "--window", ids[-1], "f"], env=env, timeout=10)

    def close(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


def run_gst(sink, env, seconds, warmup):
    """Cores used by gst-launch-1.0 with the benchmark's source into sink."""
    proc = subprocess.Popen(["gst-launch-1.0", "-q"] + SOURCE.split() + ["!"] + sink, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(warmup)
        return measure_cpu(proc, seconds)
    finally:
        proc.terminate()
        proc.wait()


def run_pipeline(display, seconds, warmup):
    """The obvious alternative: convert and show in an X window."""
    return run_gst(["videoconvert", "!", "ximagesink"], dict(os.environ, DISPLAY=display.name), seconds, warmup)


def run_source_only(seconds, warmup):
    """The test source alone, which both the viewer and the pipeline pay for."""
    return run_gst(["fakesink"], None, seconds, warmup)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build", help="the build folder")
    parser.add_argument("--seconds", type=float, default=15, help="measured time of each CPU run")
    parser.add_argument("--long", action="store_true", help="also the resident memory after 10 minutes")
    args = parser.parse_args()
    binary = os.path.join(args.build, "src", "app", "kelvo-viewer")
    for tool in ("Xvfb", "xdotool", "gst-launch-1.0"):
        if shutil.which(tool) is None:
            sys.exit("render bench: %s is missing" % tool)
    if subprocess.run(["gst-inspect-1.0", "ximagesink"], capture_output=True).returncode != 0:
        sys.exit("render bench: GStreamer's ximagesink is missing (Debian package gstreamer1.0-x)")
    warmup = 6.0
    workdir = tempfile.mkdtemp(prefix="kelvo-render-bench-")
    display = Display()
    try:
        paths = [("default", []), ("cpu", ["--render=cpu"]), ("gpu", ["--render=gpu"])]
        # The pipeline before and after the viewers, so that a change in the
        # machine's load shows as a spread between the two.
        gst = [run_pipeline(display, args.seconds, warmup)]
        results = {}
        for name, extra in paths:
            viewer = Viewer(binary, display, workdir, name, extra)
            try:
                time.sleep(warmup)
                cores = measure_cpu(viewer.proc, args.seconds)
                results[name] = (cores, viewer.delays_ms(), viewer.path_line())
            finally:
                viewer.close()
        gst.append(run_pipeline(display, args.seconds, warmup))
        source = run_source_only(args.seconds, warmup)
        baseline = sum(gst) / len(gst)
        print("gst_cores_1080p30 %.3f (runs %s)" % (baseline, " ".join("%.3f" % g for g in gst)))
        print("source_cores_1080p30 %.3f" % source)
        for name, (cores, delays, line) in results.items():
            print("# %s: %s" % (name, line))
            print("cores_%s %.3f" % (name, cores))
            print("ratio live_cpu_vs_gst_1080p30 %.3f %s" % (cores / baseline, name))
            # What each spends beyond producing the frames, which both do alike.
            if baseline > source:
                print("ratio display_cpu_vs_gst_1080p30_without_source %.3f %s"
                      % ((cores - source) / (baseline - source), name))
            if delays:
                delays = delays[int(len(delays) * 0.1):]  # past start-up
                print("delay_ms_p50 %.1f %s" % (percentile(delays, 0.5), name))
                print("delay_ms_p99 %.1f %s" % (percentile(delays, 0.99), name))

        viewer = Viewer(binary, display, workdir, "idle", [])
        try:
            time.sleep(warmup)
            viewer.freeze()
            time.sleep(2)
            print("frozen_core_percent %.2f" % (100 * measure_cpu(viewer.proc, args.seconds)))
            # Memory while showing: thaw, then sample at 1 (and 10) minutes.
            viewer.freeze()
            start = time.monotonic()
            marks = [60] + ([600] if args.long else [])
            for mark in marks:
                time.sleep(max(0.0, mark - (time.monotonic() - start)))
                print("rss_mb_%dmin %.1f" % (mark // 60, rss_mb(viewer.proc.pid)))
        finally:
            viewer.close()
    finally:
        display.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
