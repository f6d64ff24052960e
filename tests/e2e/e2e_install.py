#!/usr/bin/env python3
"""End-to-end install cases: the packages of scripts/package under Wine's msiexec, built here from the Windows
builds already made (the upgrade package as the next patch version). Same sessions and exit status as e2e.py,
whose machinery this driver reuses; each case runs in a test bed of its own with a fresh Wine prefix, since a
prefix keeps Windows Installer's registrations of every product installed in it. The fresh prefixes are copies of
one made once in the surrounding test bed.

    e2e_install.py CASE --exe Corvanta.exe --helpers DIR [--loader WINE]
"""
import fcntl
import glob
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Skip, check, testbed  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
USER_RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# The machine's Run key and Add/Remove Programs in the 64-bit and the 32-bit registry view.
RUN_KEYS = {"64-bit": r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run",
            "32-bit": r"HKLM\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Run"}
UNINSTALL_KEYS = (r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                  r"HKLM\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall")
BUILD_TIMEOUT = 1500  # the upgrade package's build: a minute with a warm compiler cache, more on a cold one
SIGN_PASSWORD = "throwaway"
WM_QUERYENDSESSION, WM_ENDSESSION, ENDSESSION_CLOSEAPP = 0x11, 0x16, 0x1


def publisher_line(name):
    with open(os.path.join(ROOT, "res", "corvanta_publisher.h")) as f:
        return re.search(rf'^#define {name} "(.*)"$', f.read(), re.M).group(1)


PUBLISHER = publisher_line("CORVANTA_PUBLISHER")
LICENSES = ("LICENSE.txt", "THIRD-PARTY-NOTICES.txt")


def check_licenses(read, where):
    """LICENSE.txt is Corvanta's MIT license, THIRD-PARTY-NOTICES.txt the BSD licence of PCRE2 with its copyright
    notice; both for Notepad, with Windows line ends. READ gives a file's bytes by name."""
    for name, texts in (("LICENSE.txt", (b"MIT License", PUBLISHER.encode())),
                        ("THIRD-PARTY-NOTICES.txt", (b"PCRE2", b"Copyright (c) 1997-", b"University of Cambridge",
                                                     b'THE "BSD" LICENCE'))):
        data = read(name)
        missing = [text for text in texts if text not in data]
        check(not missing and data.count(b"\n") == data.count(b"\r\n") > 10,
              f"{name} in {where} lacks {missing} or has other line ends than CR LF")


def build_msi(s, arch, version=None, certificate=None):
    out = os.path.join(s.dir, f"dist-{arch}-{version}-{'signed' if certificate else 'unsigned'}")
    env = dict(os.environ, **({"CORVANTA_VERSION": version} if version else {}))
    sign = []
    if certificate:
        sign = ["--sign", certificate]
        env["CORVANTA_SIGN_PASSWORD"] = SIGN_PASSWORD
    result = subprocess.run([os.path.join(ROOT, "scripts", "package"), "--only", arch, "--out", out, *sign], env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=BUILD_TIMEOUT, check=False)
    check(result.returncode == 0, f"scripts/package --only {arch} failed:\n{result.stdout.decode()[-3000:]}")
    msis = glob.glob(os.path.join(out, f"Corvanta-*-{arch}.msi"))
    check(len(msis) == 1 and len(os.listdir(out)) == 4, f"scripts/package wrote {os.listdir(out)}")
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


def make_certificate(s):
    """A throwaway self-signed code-signing certificate: (the .pfx to sign with, the .pem to verify against)."""
    key, pem, pfx = (os.path.join(s.dir, "signer." + kind) for kind in ("key", "pem", "pfx"))
    for command in (["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
                     "-days", "30", "-subj", "/CN=Corvanta test signer", "-addext", "extendedKeyUsage=codeSigning"],
                    ["openssl", "pkcs12", "-export", "-out", pfx, "-inkey", key, "-in", pem,
                     "-passout", "pass:" + SIGN_PASSWORD]):
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)
        check(result.returncode == 0, f"{' '.join(command[:2])} failed: {result.stderr}")
    return pfx, pem


def signature(path, pem):
    """osslsigncode's verdict on PATH's Authenticode signature against the certificate PEM: (ok, its report)."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", pem, "-in", path], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, check=False)
    return result.returncode == 0, result.stdout + result.stderr


def check_signed(path, pem):
    ok, report = signature(path, pem)
    check(ok and re.search(r"digest algorithm\s*:\s*SHA256", report, re.I),
          f"{os.path.basename(path)} carries no valid SHA-256 signature of the certificate:\n{report[-1500:]}")


def check_packages(out, pem):
    """Both executables and the MSI are signed, SHA256SUMS lists the files as they are now, the zips hold the
    license and the policy templates, and the program names its publisher as the package does."""
    msi, = glob.glob(os.path.join(out, "*.msi"))
    check_signed(msi, pem)
    portable, = glob.glob(os.path.join(out, "*-win64.zip"))
    with zipfile.ZipFile(portable) as z:
        check({"Corvanta.exe", "README.txt", *LICENSES} <= set(z.namelist()), f"{portable} holds {z.namelist()}")
        exe = os.path.join(out, "unpacked-Corvanta.exe")
        with open(exe, "wb") as f:
            f.write(z.read("Corvanta.exe"))
        check_licenses(z.read, "the zip")
    check_signed(exe, pem)
    with open(exe, "rb") as f:
        program = f.read()
    os.remove(exe)
    for text in (PUBLISHER, publisher_line("CORVANTA_COPYRIGHT")):
        check(text.encode("utf-16-le") in program, f"the program's version information lacks {text!r}")
    policy, = glob.glob(os.path.join(out, "*-policy.zip"))
    with zipfile.ZipFile(policy) as z:
        check(sorted(z.namelist()) == ["Corvanta.admx", "en-US/Corvanta.adml"], f"{policy} holds {z.namelist()}")
    with open(os.path.join(out, "SHA256SUMS")) as f:
        sums = dict(reversed(line.split()) for line in f.read().splitlines())
    check(sorted(sums) == sorted(os.path.basename(p) for p in (msi, portable, policy)), f"SHA256SUMS lists {sums}")
    for name, digest in sums.items():
        with open(os.path.join(out, name), "rb") as f:
            check(hashlib.sha256(f.read()).hexdigest() == digest, f"SHA256SUMS does not match {name} as signed")


def failing_copy(s, msi):
    """A copy of MSI whose install fails at its very end, when everything else has been done (a full disk, an
    antivirus blocking a later step): what it did must be rolled back."""
    copy = os.path.join(s.dir, "failing-" + os.path.basename(msi))
    shutil.copyfile(msi, copy)
    # 3106: an executable with a working folder (34), in the script (0x400), elevated (0x800).
    for query in ("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
                  "VALUES ('FailAtTheEnd', 3106, 'INSTALLDIR', '\"[SystemFolder]cmd.exe\" /c exit 1')",
                  "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
                  "VALUES ('FailAtTheEnd', 'NOT REMOVE', 6590)"):
        subprocess.run(["msibuild", copy, "-q", query], stdin=subprocess.DEVNULL, capture_output=True, check=True)
    return copy


def msiexec(s, *args, loader=None):
    # Its log is shown when the case fails. No pipe for its output: a program it launches would inherit the pipe
    # and hold it open.
    log = os.path.join(s.dir, f"msiexec-{len(glob.glob(os.path.join(s.dir, 'msiexec-*')))}.log")
    return subprocess.run([loader or s.loader, "msiexec", *args, "/l*v", s.windows_path(log)],
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180,
                          check=False).returncode


def reg64(*args):
    """`reg` as a 64-bit program, which sees each registry view under its own name."""
    result = subprocess.run([testbed.WINE64, "reg", *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=30, check=False)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def machine_run_values(s):
    """The machine's Run value named Corvanta, as {registry view: data}."""
    values = {}
    for view, key in RUN_KEYS.items():
        _, out = reg64("query", key, "/v", "Corvanta")
        for line in out.splitlines():
            fields = line.split(None, 2)
            if fields[:2] == ["Corvanta", "REG_SZ"]:
                values[view] = fields[2] if len(fields) > 2 else ""
    return values


def arp_entries(s):
    """The Add/Remove Programs entries named Corvanta in either registry view, as {value name: data} each."""
    entries = []
    for key in UNINSTALL_KEYS:
        _, out = reg64("query", key, "/s")
        for line in out.splitlines():
            fields = line.split(None, 2)
            if line.startswith("HKEY_"):
                entries.append({})
            elif entries and len(fields) == 3 and fields[1].startswith("REG_"):
                entries[-1][fields[0]] = fields[2]
    return [entry for entry in entries if entry.get("DisplayName") == "Corvanta"]


def install_folder(folder):
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", folder, "Corvanta")


def program_path(folder):
    return os.path.join(install_folder(folder), "Corvanta.exe")


def installed(s, folder):
    """Points the session at the program as installed in FOLDER; returns its quoted Windows path."""
    s.exe = program_path(folder)
    return f'"C:\\{folder}\\Corvanta\\Corvanta.exe"'


def shortcuts():
    return glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "**", "Corvanta.lnk"), recursive=True)


def check_nothing_left(s, what):
    # The folder goes only when nothing is left in it: the program, and the licenses beside it.
    left = [path for path in (install_folder("Program Files"), install_folder("Program Files (x86)"))
            if os.path.exists(path)] + shortcuts()
    check(not left and not arp_entries(s) and not machine_run_values(s),
          f"left after {what}: files {left}, Add/Remove entries {arp_entries(s)}, Run values {machine_run_values(s)}")


def install(s, msi, version, *properties, loader=None):
    """Installs; checks the files, the shortcut and that one Corvanta is in Add/Remove Programs, this one."""
    check(msiexec(s, "/i", s.windows_path(msi), "/qn", *properties, loader=loader) == 0, f"installing {msi} failed")
    check(os.path.exists(s.exe) and len(shortcuts()) == 1, f"after the install: {s.exe}, shortcuts {shortcuts()}")

    def read(name):
        path = os.path.join(os.path.dirname(s.exe), name)
        check(os.path.exists(path), f"the install put no {name} beside {s.exe}")
        with open(path, "rb") as f:
            return f.read()
    check_licenses(read, "the installed folder")
    entries = arp_entries(s)
    check([(e.get("DisplayVersion"), e.get("Publisher")) for e in entries] == [(version, PUBLISHER)],
          f"Add/Remove Programs entries {entries}, expected one of version {version}")


def close_as_restart_manager(s):
    """What Windows Installer's Restart Manager does under /qn before it replaces or removes the program's file:
    it asks every running copy to close as at the session's end. Wine's msiexec has no Restart Manager."""
    forms = s.wintool("forms", "CorvantaMainForm")
    check(len(forms) == 1, f"{len(forms)} main forms, expected one")
    for message, wparam in ((WM_QUERYENDSESSION, 0), (WM_ENDSESSION, 1)):
        status = s.wine(s.tool("wintool"), "post", forms[0], str(message), str(wparam), str(ENDSESSION_CLOSEAPP))[0]
        check(status == 0, f"posting message {message:#x} to the main form failed")
    testbed.wait_for(lambda: not s.alive(), 30, "the running Corvanta to close as the Restart Manager asks")
    check(s.program.returncode == 0, f"Corvanta.exe ended with status {s.program.returncode} when asked to close")


def uninstall_while_running(s, msi, quoted):
    """The running program is closed; the uninstall removes the files, the shortcut, the entry and every Run value
    naming the file, and keeps the user's settings."""
    s.store("CommPort", "1")
    s.reg_add(USER_RUN_KEY, "Corvanta", quoted)  # as the tray menu writes it where the machine's key is denied
    s.start_program()
    s.wait_ready()
    close_as_restart_manager(s)
    check(msiexec(s, "/x", s.windows_path(msi), "/qn") == 0, "the silent uninstall failed")
    check_nothing_left(s, "the uninstall")
    check(s.reg_value(USER_RUN_KEY, "Corvanta") == (None, None), f"{USER_RUN_KEY}\\Corvanta is left after the uninstall")
    check(s.stored("CommPort") == "1", "the uninstall removed the user's settings under HKCU\\Software\\Corvanta")


def case_install_lifecycle(s):
    """The x64 package, signed with a throwaway certificate: the signatures and checksums; a failed install leaves
    nothing behind; a silent install with AUTOSTART=1 (the value e2e.auto_start shows the check mark reads) whose
    program types what arrives on COM1; an upgrade with LAUNCH=1 once the Restart Manager has closed the program;
    a lower version refused; an uninstall while it runs."""
    certificate, pem = make_certificate(s)
    old_msi, version = build_msi(s, "x64", certificate=certificate)
    check_packages(os.path.dirname(old_msi), pem)
    major, minor, patch = map(int, version.split("."))
    new_version = f"{major}.{minor}.{patch + 1}"
    new_msi, _ = build_msi(s, "x64", new_version)
    check(not signature(new_msi, pem)[0], "a package built without --sign is signed")
    check_reproducible(os.path.join(ROOT, "build", f"package-{new_version}-win64"))
    quoted = installed(s, "Program Files")

    check(msiexec(s, "/i", s.windows_path(failing_copy(s, new_msi)), "/qn", "AUTOSTART=1") != 0,
          "the failing package installed")
    check_nothing_left(s, "a failed install")

    install(s, old_msi, version, "AUTOSTART=1")
    check(machine_run_values(s) == {"64-bit": quoted},
          f"AUTOSTART=1 wrote the Run values {machine_run_values(s)}, expected the quoted path {quoted}, 64-bit")
    check_signed(s.exe, pem)
    s.clear_settings()
    s.start_program()
    s.wait_ready()
    s.start_recorder()
    s.send("COM1", b"installed\r")
    s.expect_typed("installed\r\n", "the installed Corvanta.exe")

    close_as_restart_manager(s)
    install(s, new_msi, new_version, "LAUNCH=1")
    with open(s.exe, "rb") as f:
        check(f"Version {new_version}".encode("utf-16-le") in f.read(), "the installed file is not the upgrade's")
    check(machine_run_values(s) == {"64-bit": quoted}, f"after the upgrade the Run values are {machine_run_values(s)}")
    testbed.wait_for(lambda: len(s.tray_icons()) == 1, e2e.READY_TIMEOUT, "the icon of the launched Corvanta")
    check(s.wine(s.exe, "/exit")[0] == 0, "Corvanta.exe /exit could not end the launched copy")
    testbed.wait_for(s.tray_flushed, 15, "the launched Corvanta's icon to go")
    check(msiexec(s, "/i", s.windows_path(old_msi), "/qn") != 0, "the older package installed over the newer")

    uninstall_while_running(s, new_msi, quoted)


def case_install_x86(s):
    """The x86 package, and the two packages of one version in turn: a failed install leaves nothing behind; the
    x86 package installs into Program Files (x86) with AUTOSTART=1; the x64 package replaces it (one Corvanta in
    Add/Remove Programs, the Run value naming the x64 program in the 64-bit view); the x86 package with
    AUTOSTART=0 replaces that and takes the Run value away; its uninstall while it runs leaves nothing behind."""
    if not e2e.loader_runs(s.loader):
        raise Skip(f"{s.loader} cannot run 32-bit code on this machine")
    x86_msi, version = build_msi(s, "x86")
    x64_msi, _ = build_msi(s, "x64")

    check(msiexec(s, "/i", s.windows_path(failing_copy(s, x86_msi)), "/qn", "AUTOSTART=1") != 0,
          "the failing package installed")
    check_nothing_left(s, "a failed install")

    quoted = installed(s, "Program Files (x86)")
    install(s, x86_msi, version, "AUTOSTART=1")
    check(machine_run_values(s) == {"64-bit": quoted},
          f"AUTOSTART=1 wrote the Run values {machine_run_values(s)}, expected the quoted path {quoted}, 64-bit")

    quoted = installed(s, "Program Files")
    install(s, x64_msi, version, loader=testbed.WINE64)
    check(not os.path.exists(install_folder("Program Files (x86)")), "the x86 files stayed beside the x64 ones")
    check(machine_run_values(s) == {"64-bit": quoted},
          f"after the x64 package the Run values are {machine_run_values(s)}, expected {quoted}, 64-bit")

    quoted = installed(s, "Program Files (x86)")
    install(s, x86_msi, version, "AUTOSTART=0")
    check(not os.path.exists(install_folder("Program Files")), "the x64 files stayed beside the x86 ones")
    check(not machine_run_values(s), f"AUTOSTART=0 left the Run values {machine_run_values(s)}")

    s.clear_settings()
    uninstall_while_running(s, x86_msi, quoted)


CASES = {name[len("case_"):]: func for name, func in globals().items() if name.startswith("case_")}


def fresh_prefix():
    """A fresh prefix, made once in the test bed the cases run in, for each case to copy (half a second, where
    making one takes 10 to 20). Made aside and renamed, so that a case stopped while making it leaves none half
    made."""
    template = os.path.join(os.environ["CORVANTA_TESTBED"], "install-prefix")
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.isdir(template):
            making = tempfile.mkdtemp(prefix="install-prefix-", dir=os.environ["CORVANTA_TESTBED"])
            testbed.make_prefix(making, os.environ)
            os.rename(making, template)
    return template


def main():
    e2e.CASES = CASES
    if not os.environ.get("CORVANTA_TESTBED"):
        return e2e.main()  # says how to run it inside the test bed
    # A bed of its own for each case: a prefix keeps Windows Installer's registrations of every product installed
    # in it, and nothing one case installs may reach the other.
    bed = testbed.Bed(["COM1"], display=os.environ.get("DISPLAY"), prefix_from=fresh_prefix())
    try:
        os.environ.update(bed.up())
        return e2e.main()
    finally:
        bed.down()


if __name__ == "__main__":
    sys.exit(main())
