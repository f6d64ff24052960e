#!/usr/bin/env python3
"""End-to-end install cases: the packages of scripts/package under Wine's msiexec, built here from the Windows
builds already made (the upgrade package as the next patch version). Same bed, sessions and exit status as
e2e.py, whose machinery this driver reuses.

    e2e_install.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]
"""
import glob
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Skip, check, testbed  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
USER_RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# The Run values are read as 64-bit programs see them: both programs keep the entry in the 64-bit view, and a
# value in the 32-bit view (WOW6432Node), which the 32-bit reg would show instead, would be one too many.
NATIVE = os.environ.get("CORVANTA_WINE64", testbed.WINE64)
RUN_KEYS = (e2e.RUN_KEY, e2e.RUN_KEY_32_BIT_VIEW, USER_RUN_KEY)


def run_value(s, key):
    return s.reg_value(key, "Corvanta", loader=NATIVE)
BUILD_TIMEOUT = 1500  # the upgrade package's build: a minute with a warm compiler cache, more on a cold one


def build_msi(s, arch, version=None):
    out = os.path.join(s.dir, f"dist-{arch}-{version}")
    env = dict(os.environ, **({"CORVANTA_VERSION": version} if version else {}))
    result = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--only", arch, "--out", out], env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=BUILD_TIMEOUT, check=False)
    check(result.returncode == 0, f"scripts/package --only {arch} failed:\n{result.stdout.decode()[-3000:]}")
    msis = glob.glob(os.path.join(out, f"Corvanta-*-{arch}.msi"))
    check(len(msis) == 1 and len(os.listdir(out)) == 3, f"scripts/package wrote {os.listdir(out)}")
    return msis[0], os.path.basename(msis[0])[len("Corvanta-"):-len(f"-{arch}.msi")]


def check_reproducible(build_dir):
    """The PE timestamp is the commit's date, not the clock's, and a second link gives the same bytes."""
    exe = os.path.join(build_dir, "Corvanta.exe")
    with open(exe, "rb") as f:
        first = f.read()
    stamp = struct.unpack_from("<I", first, struct.unpack_from("<I", first, 0x3C)[0] + 8)[0]
    commit = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=ROOT, stdout=subprocess.PIPE, text=True,
                            check=False).stdout.strip()
    check(not commit or stamp == int(commit), f"the PE timestamp of {exe} is {stamp}, the commit's date {commit}")
    os.remove(exe)
    subprocess.run(["cmake", "--build", build_dir, "--target", "Corvanta"], stdout=subprocess.DEVNULL,
                   timeout=BUILD_TIMEOUT, check=True)
    with open(exe, "rb") as f:
        check(f.read() == first, f"a second link of {exe} gave other bytes")


def msiexec(s, *args):
    # Its log is shown when the case fails. No pipe for its output: a program it launches would inherit the pipe
    # and hold it open.
    log = os.path.join(s.dir, f"msiexec-{len(glob.glob(os.path.join(s.dir, 'msiexec-*')))}.log")
    return subprocess.run([s.loader, "msiexec", *args, "/l*v", s.windows_path(log)], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180, check=False).returncode


def arp_entries(s):
    """The Add/Remove Programs entries named Corvanta, as {value name: data} each."""
    entries = []
    _, out = s.wine("reg", "query", r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall", "/s")
    for line in out.splitlines():
        fields = line.split(None, 2)
        if line.startswith("HKEY_"):
            entries.append({})
        elif entries and len(fields) == 3 and fields[1].startswith("REG_"):
            entries[-1][fields[0]] = fields[2]
    return [entry for entry in entries if entry.get("DisplayName") == "Corvanta"]


def installed(s, folder):
    windows = f"C:\\{folder}\\Corvanta\\Corvanta.exe"
    s.exe = os.path.join(os.environ["WINEPREFIX"], "drive_c", folder, "Corvanta", "Corvanta.exe")
    return f'"{windows}"'


def shortcuts():
    return glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "**", "Corvanta.lnk"), recursive=True)


def clean_slate(s, *msis):
    """A case that failed half-way must not leave a product or Run values behind for the next case."""
    for msi in msis:
        msiexec(s, "/x", s.windows_path(msi), "/qn")
    for key in RUN_KEYS:
        s.wine("reg", "delete", key, "/v", "Corvanta", "/f", loader=NATIVE)


def install(s, msi, version, quoted, *properties):
    check(msiexec(s, "/i", s.windows_path(msi), "/qn", *properties) == 0, f"installing {msi} failed")
    check(os.path.exists(s.exe) and len(shortcuts()) == 1, f"after the install: {s.exe}, shortcuts {shortcuts()}")
    entries = arp_entries(s)
    check([(e.get("DisplayVersion"), e.get("Publisher")) for e in entries] == [(version, "Corvanta Instruments Ltd.")],
          f"Add/Remove Programs entries {entries}, expected one of version {version}")
    if "AUTOSTART=1" in properties:
        written = [run_value(s, key) for key in RUN_KEYS]
        check(written == [("REG_SZ", quoted), (None, None), (None, None)],
              f"AUTOSTART=1 wrote {written} under {RUN_KEYS}, expected the quoted path {quoted} in the first only")


def uninstall_while_running(s, msi, quoted):
    """Ends the running program; removes the files, the shortcut, the entry and every Run value naming the file;
    keeps the user's settings."""
    s.store("CommPort", "1")
    s.reg_add(USER_RUN_KEY, "Corvanta", quoted)  # as the tray menu writes it where the machine's key is denied
    check(run_value(s, USER_RUN_KEY) == ("REG_SZ", quoted), "the user's Run value is not where the program looks")
    s.start_program()
    s.wait_ready()
    check(msiexec(s, "/x", s.windows_path(msi), "/qn") == 0, "the silent uninstall failed")
    testbed.wait_for(lambda: not s.alive(), 30, "the running Corvanta to end during the uninstall")
    check(s.program.returncode == 0, f"Corvanta.exe ended with status {s.program.returncode} during the uninstall")
    check(not os.path.exists(s.exe) and not shortcuts() and not arp_entries(s),
          f"left after the uninstall: {s.exe} {os.path.exists(s.exe)}, {shortcuts()}, {arp_entries(s)}")
    for key in RUN_KEYS:
        check(run_value(s, key) == (None, None), f"{key}\\Corvanta is left after the uninstall")
    check(s.stored("CommPort") == "1", "the uninstall removed the user's settings under HKCU\\Software\\Corvanta")


def case_install_lifecycle(s):
    """The x64 package: a silent install with AUTOSTART=1 (the value e2e.auto_start shows the check mark reads),
    the installed program types what arrives on COM1, an upgrade with LAUNCH=1, a lower version refused, an
    uninstall while it runs."""
    old_msi, version = build_msi(s, "x64")
    major, minor, patch = map(int, version.split("."))
    new_version = f"{major}.{minor}.{patch + 1}"
    new_msi, _ = build_msi(s, "x64", new_version)
    check_reproducible(os.path.join(ROOT, "build", f"package-{new_version}-win64"))
    quoted = installed(s, "Program Files")
    clean_slate(s, new_msi, old_msi)
    try:
        install(s, old_msi, version, quoted, "AUTOSTART=1")
        s.clear_settings()
        s.start_program()
        s.wait_ready()
        s.start_recorder()
        s.send("COM1", b"installed\r")
        s.expect_typed("installed\r\n", "the installed Corvanta.exe")

        install(s, new_msi, new_version, quoted, "LAUNCH=1")
        testbed.wait_for(lambda: not s.alive(), 30, "the old version to end for the upgrade")
        with open(s.exe, "rb") as f:
            check(f"Version {new_version}".encode("utf-16-le") in f.read(), "the installed file is not the upgrade's")
        check(run_value(s, e2e.RUN_KEY) == ("REG_SZ", quoted), "the upgrade lost the auto-start entry")
        testbed.wait_for(lambda: len(s.tray_icons()) == 1, e2e.READY_TIMEOUT, "the icon of the launched Corvanta")
        check(s.wine(s.exe, "/exit")[0] == 0, "Corvanta.exe /exit could not end the launched copy")
        testbed.wait_for(s.tray_flushed, 15, "the launched Corvanta's icon to go")
        check(msiexec(s, "/i", s.windows_path(old_msi), "/qn") != 0, "the older package installed over the newer")

        uninstall_while_running(s, new_msi, quoted)
    finally:
        clean_slate(s, new_msi, old_msi)


def case_install_x86(s):
    """The x86 package installs into Program Files (x86) and its silent uninstall leaves nothing behind."""
    if not e2e.loader_runs(s.loader):
        raise Skip(f"{s.loader} cannot run 32-bit code on this machine")
    msi, version = build_msi(s, "x86")
    quoted = installed(s, "Program Files (x86)")
    clean_slate(s, msi)
    try:
        install(s, msi, version, quoted, "AUTOSTART=1")
        s.clear_settings()
        uninstall_while_running(s, msi, quoted)
    finally:
        clean_slate(s, msi)


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    sys.exit(e2e.main())
