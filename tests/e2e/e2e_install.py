#!/usr/bin/env python3
"""End-to-end install cases: the Windows Installer packages of scripts/package under Wine's msiexec.

    e2e_install.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]

Same bed, sessions and exit status as e2e.py, whose machinery this driver reuses. The packages are built here by
scripts/package from the Windows builds already made (the upgrade package as the next patch version).
"""
import glob
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failure, Skip, check, testbed  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
USER_RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
PACKAGE_TIMEOUT = 1500  # the upgrade package's build: a minute with a warm compiler cache, more on a cold one


def build_packages(s, arch, version=None):
    """Runs scripts/package for one architecture; returns {file name: path} of what it wrote."""
    out = os.path.join(s.dir, f"dist-{arch}-{version or 'current'}")
    env = dict(os.environ)
    if version:
        env["CORVANTA_VERSION"] = version
    result = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--only", arch, "--out", out], env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=PACKAGE_TIMEOUT, check=False)
    check(result.returncode == 0, f"scripts/package --only {arch} failed:\n{result.stdout.decode()[-3000:]}")
    return {name: os.path.join(out, name) for name in os.listdir(out)}


def check_reproducible(build_dir):
    """The executable's PE timestamp is the commit's date, not the clock's, and linking it again gives the same
    bytes."""
    exe = os.path.join(build_dir, "Corvanta.exe")
    with open(exe, "rb") as f:
        first = f.read()
    stamp = struct.unpack_from("<I", first, struct.unpack_from("<I", first, 0x3C)[0] + 8)[0]
    commit = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=ROOT, stdout=subprocess.PIPE, text=True,
                            check=False).stdout.strip()
    if commit:
        check(stamp == int(commit), f"the PE timestamp of {exe} is {stamp}, the commit's date {commit}")
    os.remove(exe)
    subprocess.run(["cmake", "--build", build_dir, "--target", "Corvanta"], stdout=subprocess.DEVNULL,
                   timeout=PACKAGE_TIMEOUT, check=True)
    with open(exe, "rb") as f:
        check(f.read() == first, f"a second link of {exe} gave other bytes")


def one(packages, pattern):
    found = [path for name, path in packages.items() if re.fullmatch(pattern, name)]
    check(len(found) == 1, f"{len(found)} files match {pattern}: {sorted(packages)}")
    return found[0]


def msiexec(s, *args):
    # No pipe for its output: a program it launches would inherit the pipe and hold it open.
    return subprocess.run([s.loader, "msiexec", *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=180, check=False).returncode


def arp_entries(s):
    """The Add/Remove Programs entries named Corvanta, as {value name: data} each."""
    entries, current = [], None
    _, out = s.wine("reg", "query", UNINSTALL_KEY, "/s", timeout=60)
    for line in out.splitlines():
        if line.startswith("HKEY_"):
            current = {}
            entries.append(current)
        elif current is not None and line.strip():
            fields = line.split(None, 2)
            if len(fields) >= 2 and fields[1].startswith("REG_"):
                current[fields[0]] = fields[2] if len(fields) > 2 else ""
    return [entry for entry in entries if entry.get("DisplayName") == "Corvanta"]


def install_paths(s, folder):
    windows = f"C:\\{folder}\\Corvanta\\Corvanta.exe"
    return windows, os.path.join(os.environ["WINEPREFIX"], "drive_c", folder, "Corvanta", "Corvanta.exe")


def shortcuts():
    return glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "**", "Start Menu", "**", "Corvanta.lnk"),
                     recursive=True)


def remove_leftovers(s, *msis):
    """A case that failed half-way must not leave a product or Run values behind for the next case."""
    for msi in msis:
        msiexec(s, "/x", s.windows_path(msi), "/qn")
    for key in (e2e.RUN_KEY, USER_RUN_KEY):
        s.wine("reg", "delete", key, "/v", "Corvanta", "/f")


def uninstall_while_running(s, msi, exe_unix, quoted):
    """A silent uninstall ends the running program, removes the files, the shortcut, the entry and every Run
    value naming the file, and keeps the user's settings."""
    s.store("CommPort", "1")
    s.reg_add(USER_RUN_KEY, "Corvanta", quoted)  # as the tray menu writes it where the machine's key is denied
    s.start_program()
    s.wait_ready()
    check(msiexec(s, "/x", s.windows_path(msi), "/qn") == 0, "the silent uninstall failed")
    testbed.wait_for(lambda: not s.alive(), 30, "the running Corvanta to end during the uninstall")
    check(s.program.returncode == 0, f"Corvanta.exe ended with status {s.program.returncode} during the uninstall")
    check(not os.path.exists(exe_unix), f"{exe_unix} is still there after the uninstall")
    check(not shortcuts(), f"the Start menu shortcut is still there: {shortcuts()}")
    check(not arp_entries(s), f"Add/Remove Programs still lists Corvanta: {arp_entries(s)}")
    for key in (e2e.RUN_KEY, USER_RUN_KEY):
        check(s.reg_value(key, "Corvanta") == (None, None),
              f"{key}\\Corvanta is left after the uninstall: {s.reg_value(key, 'Corvanta')}")
    check(s.stored("CommPort") == "1", "the uninstall removed the user's settings under HKCU\\Software\\Corvanta")


def case_install_lifecycle(s):
    """The x64 package: a silent install with AUTOSTART=1, the program it installed types what arrives on COM1,
    an upgrade to the next version, a lower version refused, and a silent uninstall with Corvanta running."""
    current = build_packages(s, "x64")
    version = re.fullmatch(r"Corvanta-(.+)-x64\.msi", os.path.basename(one(current, r"Corvanta-.+-x64\.msi")))[1]
    major, minor, patch = map(int, version.split("."))
    upgrade = build_packages(s, "x64", f"{major}.{minor}.{patch + 1}")
    check_reproducible(os.path.join(ROOT, "build", f"package-{major}.{minor}.{patch + 1}-win64"))
    old_msi, new_msi = one(current, r"Corvanta-.+-x64\.msi"), one(upgrade, r"Corvanta-.+-x64\.msi")
    windows_exe, exe_unix = install_paths(s, "Program Files")
    quoted = f'"{windows_exe}"'
    remove_leftovers(s, new_msi, old_msi)
    s.reg_delete(e2e.RUN_KEY, "Corvanta")
    s.reg_delete(USER_RUN_KEY, "Corvanta")
    try:
        check(msiexec(s, "/i", s.windows_path(old_msi), "/qn", "AUTOSTART=1") == 0, "the silent install failed")
        check(os.path.exists(exe_unix), f"no {exe_unix} after the install")
        check(len(shortcuts()) == 1, f"Start menu shortcuts: {shortcuts()}, expected one Corvanta.lnk")
        entries = arp_entries(s)
        check(len(entries) == 1, f"{len(entries)} Add/Remove Programs entries for Corvanta, expected one")
        for name, want in (("DisplayVersion", version), ("Publisher", "Corvanta Instruments Ltd.")):
            check(entries[0].get(name) == want, f"the entry's {name} is {entries[0].get(name)!r}, expected {want!r}")
        check(s.reg_value(e2e.RUN_KEY, "Corvanta") == ("REG_SZ", quoted),
              f"AUTOSTART=1 wrote {s.reg_value(e2e.RUN_KEY, 'Corvanta')}, expected the quoted path {quoted}")

        # The installed program: its icon, the menu's check mark from the installer's Run value, typing.
        s.exe = exe_unix
        s.clear_settings()
        s.start_program()
        s.wait_ready()
        menu = s.open_menu()
        s.check_menu(menu, checked=True)
        s.close_menu()
        s.start_recorder()
        s.send("COM1", b"installed\r")
        s.expect_typed("installed\r\n", "the installed Corvanta.exe")

        # Upgrade while it runs: one entry, the new file, the auto-start entry kept.
        check(msiexec(s, "/i", s.windows_path(new_msi), "/qn", "LAUNCH=1") == 0, "the upgrade failed")
        testbed.wait_for(lambda: not s.alive(), 30, "the running Corvanta to end for the upgrade")
        # LAUNCH=1 started the new version: its icon comes, and /exit ends it.
        testbed.wait_for(lambda: len(s.tray_icons()) == 1, e2e.READY_TIMEOUT, "the icon of the launched Corvanta")
        check(s.wine(exe_unix, "/exit")[0] == 0, "Corvanta.exe /exit could not end the launched copy")
        testbed.wait_for(s.tray_flushed, 15, "the launched Corvanta's icon to go")
        entries = arp_entries(s)
        check(len(entries) == 1, f"{len(entries)} Add/Remove Programs entries after the upgrade, expected one")
        check(entries[0].get("DisplayVersion") == f"{major}.{minor}.{patch + 1}",
              f"after the upgrade the entry shows version {entries[0].get('DisplayVersion')!r}")
        with open(exe_unix, "rb") as installed:
            check(b"V\0e\0r\0s\0i\0o\0n\0 \0" + f"{major}.{minor}.{patch + 1}".encode("utf-16-le") in installed.read(),
                  "the installed Corvanta.exe is not the upgrade's")
        check(s.reg_value(e2e.RUN_KEY, "Corvanta") == ("REG_SZ", quoted), "the upgrade lost the auto-start entry")
        check(msiexec(s, "/i", s.windows_path(old_msi), "/qn") != 0, "the older package installed over the newer")
        check(len(arp_entries(s)) == 1, "the refused downgrade changed the Add/Remove Programs entries")

        uninstall_while_running(s, new_msi, exe_unix, quoted)
    finally:
        remove_leftovers(s, new_msi, old_msi)


def case_install_x86(s):
    """The x86 package installs into Program Files (x86) and its silent uninstall leaves nothing behind."""
    if not e2e.loader_runs(s.loader):
        raise Skip(f"{s.loader} cannot run 32-bit code on this machine")
    msi = one(build_packages(s, "x86"), r"Corvanta-.+-x86\.msi")
    windows_exe, exe_unix = install_paths(s, "Program Files (x86)")
    remove_leftovers(s, msi)
    s.reg_delete(e2e.RUN_KEY, "Corvanta")
    s.reg_delete(USER_RUN_KEY, "Corvanta")
    try:
        check(msiexec(s, "/i", s.windows_path(msi), "/qn", "AUTOSTART=1") == 0, "the silent install failed")
        check(os.path.exists(exe_unix), f"no {exe_unix} after the install")
        check(len(arp_entries(s)) == 1, "no single Add/Remove Programs entry for Corvanta")
        s.exe = exe_unix
        s.clear_settings()
        uninstall_while_running(s, msi, exe_unix, f'"{windows_exe}"')
    finally:
        remove_leftovers(s, msi)


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}

if __name__ == "__main__":
    e2e.CASES = CASES
    sys.exit(e2e.main())
