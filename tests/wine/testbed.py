#!/usr/bin/env python3
"""A Windows test bed on Linux: a virtual X server, a Wine prefix and COM ports joined to pseudo-terminals.

    testbed.py [--ports COM1,COM2,COM3,COM4,COM12] [--keep DIR] -- COMMAND [ARGS...]

sets everything up, runs COMMAND with the environment below, tears everything down and exits with COMMAND's
status. Map every port a test may open: Wine gives an unmapped COM number to the machine's console device.
Each COMn is one end of a null-modem cable made by socat; the other end is the file named by
CORVANTA_PEER_COMn, which a test opens to write into (or read from) the serial line.

Environment given to COMMAND: DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, CORVANTA_TESTBED (the bed's
folder), CORVANTA_WINE64 and CORVANTA_WINE32 (the loaders), CORVANTA_PEER_COMn for every port.

Imported as a module, it also gives tests what they need to pull a cable and plug it back (unplug/replug),
to clear what an earlier program left on a line that a pty cannot honour (forget_parity), and beds of their own
whose fresh prefixes are copies of one made once (make_prefix, Bed's prefix_from).
A program running under Wine asks for the same by creating an empty file named unplug-comN or plug-comN in
CORVANTA_TESTBED; the bed removes the file once the cable is pulled or plugged.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time

WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"


def wait_for(predicate, timeout, what):
    """Polls predicate until it is true; raises TimeoutError naming what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.02)


def peer_path(bed_dir, port):
    return os.path.join(bed_dir, f"{port.lower()}.peer")


def wine_side_path(bed_dir, port):
    return os.path.join(bed_dir, f"{port.lower()}.tty")


def plug(bed_dir, port):
    """Joins COMn to a fresh pseudo-terminal pair (a cable plugged in); returns socat's pid."""
    wine_side = wine_side_path(bed_dir, port)
    peer = peer_path(bed_dir, port)
    for path in (wine_side, peer):
        if os.path.lexists(path):
            os.unlink(path)
    log = open(os.path.join(bed_dir, f"socat-{port.lower()}.log"), "ab")
    proc = subprocess.Popen(
        ["socat", "-d", "-d", f"pty,raw,echo=0,link={wine_side}", f"pty,raw,echo=0,link={peer}"],
        stdout=log, stderr=log, stdin=subprocess.DEVNULL, start_new_session=True)
    log.close()
    wait_for(lambda: os.path.exists(wine_side) and os.path.exists(peer), 10, f"socat's ptys for {port}")
    with open(os.path.join(bed_dir, f"socat-{port.lower()}.pid"), "w") as f:
        f.write(str(proc.pid))
    return proc.pid


def unplug(bed_dir, port):
    """Ends COMn's cable: both pseudo-terminals close, as when a USB adapter is pulled."""
    pid_file = os.path.join(bed_dir, f"socat-{port.lower()}.pid")
    try:
        with open(pid_file) as f:
            pid = int(f.read())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    wait_for(lambda: not _alive(pid), 10, f"socat for {port} to end")
    os.unlink(pid_file)


def forget_parity(bed_dir, port):
    """Clears the parity check an earlier program left on COMn's line, as on a freshly plugged adapter.

    A pty keeps no parity and always 8 data bits, and glibc's tcsetattr reports that as EINVAL unless some
    other flag changed in the same call; so under Wine, setting a parity on a pty whose parity check (INPCK)
    is already on fails with ERROR_INVALID_PARAMETER. Real serial devices take the setting."""
    fd = os.open(wine_side_path(bed_dir, port), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        attributes = termios.tcgetattr(fd)
        attributes[0] &= ~termios.INPCK
        termios.tcsetattr(fd, termios.TCSANOW, attributes)
    finally:
        os.close(fd)


# Where Wine puts its DLLs when it makes a prefix, 1.2 of its 1.3 GB; nothing writes there again until Wine
# updates the prefix.
_PREFIX_DLL_FOLDERS = ("drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs")


def make_prefix(prefix, env):
    """A fresh prefix as a bed makes it, its registry on disk and no server running: one to copy for beds of their
    own (Bed's prefix_from)."""
    env = dict(env, WINEPREFIX=prefix)
    _run_quiet(["wineboot", "-i"], env, timeout=300)
    _run_quiet(["wineserver", "-k"], env)
    _run_quiet(["wineserver", "-w"], env)


def _copy_prefix(template, prefix):
    """A copy of TEMPLATE in half a second, where wineboot takes 10 to 20: its DLL folders as hard links, the rest
    (the registry, drive_c's other files) copied. What runs in the copy never reaches the template: the server
    saves the registry into new files, and installers do not write into the DLL folders."""
    shared = tuple(os.path.join(template, folder) + os.sep for folder in _PREFIX_DLL_FOLDERS)

    def copy(source, target):
        if source.startswith(shared):
            os.link(source, target)
        else:
            shutil.copy2(source, target)
    shutil.copytree(template, prefix, symlinks=True, copy_function=copy)


def _alive(pid):
    try:
        os.waitpid(pid, os.WNOHANG)
    except ChildProcessError:
        pass
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    with open(f"/proc/{pid}/stat") as f:
        return f.read().split(") ")[1][0] != "Z"


def _run_quiet(cmd, env, timeout=120):
    subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=timeout, check=False)


class Bed:
    def __init__(self, ports, bed_dir=None, devices=None, display=None, prefix_from=None):
        self.ports = [p.upper() for p in ports]
        self.prefix_from = prefix_from  # a prefix of make_prefix to copy instead of making one
        self.devices = {k.upper(): v for k, v in (devices or {}).items()}
        self.own_dir = bed_dir is None
        self.dir = bed_dir or tempfile.mkdtemp(prefix="corvanta-bed-")
        os.makedirs(self.dir, exist_ok=True)
        self.display = display
        self.procs = []
        self.env = dict(os.environ)
        self.requests_stop = threading.Event()
        self.requests_thread = None

    def up(self):
        env = self.env
        env.update({
            "WINEPREFIX": os.path.join(self.dir, "prefix"),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "CORVANTA_TESTBED": self.dir,
            "CORVANTA_WINE64": WINE64,
            "CORVANTA_WINE32": WINE32,
        })
        if self.display is None:
            r, w = os.pipe()
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
            os.close(w)
            self.procs.append(xvfb)
            number = b""
            while not number.endswith(b"\n"):
                chunk = os.read(r, 16)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
            os.close(r)
            env["DISPLAY"] = ":" + number.decode().strip()
        else:
            env["DISPLAY"] = self.display
        if self.prefix_from:
            _copy_prefix(self.prefix_from, env["WINEPREFIX"])
        else:
            _run_quiet(["wineboot", "-i"], env, timeout=300)
        for port in self.ports:
            target = self.devices.get(port)
            if target is None:
                plug(self.dir, port)
                target = wine_side_path(self.dir, port)
                env[f"CORVANTA_PEER_{port}"] = peer_path(self.dir, port)
            _run_quiet(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", port, "/t", "REG_SZ", "/d", target,
                        "/f"], env)
        # The port mapping is read when Wine's services start: restart them.
        _run_quiet(["wineserver", "-k"], env)
        _run_quiet(["wineserver", "-w"], env)
        dosdevices = os.path.join(env["WINEPREFIX"], "dosdevices")
        for port in self.ports:
            link = os.path.join(dosdevices, port.lower())
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(self.devices.get(port) or wine_side_path(self.dir, port), link)
        # One long-lived server with its (very talkative) output in a file, then Wine's services, detached
        # from any test runner's pipes.
        server_log = open(os.path.join(self.dir, "wineserver.log"), "wb")
        subprocess.Popen(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=server_log,
                         stderr=server_log, start_new_session=True)
        server_log.close()
        _run_quiet([WINE64, "cmd", "/c", "exit", "0"], env)
        self.requests_thread = threading.Thread(target=self._serve_cable_requests, daemon=True)
        self.requests_thread.start()
        return env

    def _serve_cable_requests(self):
        """Pulls or plugs a cable when a program under Wine asks by a request file (see the module's doc)."""
        actions = {"unplug": unplug, "plug": plug}
        failed = set()
        while not self.requests_stop.wait(0.02):
            for name in os.listdir(self.dir):
                action, _, port = name.partition("-")
                port = port.upper()
                if action not in actions or port not in self.ports or port in self.devices or name in failed:
                    continue
                try:
                    actions[action](self.dir, port)
                except (OSError, TimeoutError) as e:
                    # The request stays: the program sees no answer and reports it.
                    print(f"testbed: {action} {port} failed: {e}", file=sys.stderr)
                    failed.add(name)
                    continue
                os.unlink(os.path.join(self.dir, name))

    def down(self):
        env = self.env
        self.requests_stop.set()
        if self.requests_thread is not None:
            self.requests_thread.join()
        if "WINEPREFIX" in env:
            _run_quiet(["wineserver", "-k"], env, timeout=60)
        for port in self.ports:
            unplug(self.dir, port)
        for proc in self.procs:
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        if self.own_dir:
            shutil.rmtree(self.dir, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--ports", default="COM1,COM2,COM3,COM4,COM12",
                        help="COM ports to join to pseudo-terminals (default: %(default)s)")
    parser.add_argument("--device", action="append", default=[], metavar="COMn=PATH",
                        help="map COMn to a real device instead of a pseudo-terminal")
    parser.add_argument("--keep", metavar="DIR", help="use DIR for the bed and keep it afterwards")
    parser.add_argument("--display", help="use this X display instead of a virtual one")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    devices = dict(d.split("=", 1) for d in args.device)
    ports = [p for p in args.ports.split(",") if p] + [p for p in devices if p.upper() not in args.ports.upper()]
    bed = Bed(ports, bed_dir=args.keep, devices=devices, display=args.display)
    try:
        env = bed.up()
        status = subprocess.call(command, env=env)
    finally:
        bed.down()
    sys.exit(status)


if __name__ == "__main__":
    main()
