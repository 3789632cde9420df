#!/usr/bin/env python3
"""Installs, upgrades and removes Quorvel's MSI under Wine and checks what it leaves.

    msi_tests.py --msi QUORVEL.msi --older-msi OLDER.msi --rebuilt-msi REBUILT.msi \
                 --version VERSION --window-tests win32_window_tests.exe --work FOLDER

OLDER.msi is the same package built with a lower version, REBUILT.msi the same package
and version built again (so with a product code of its own). Each scenario gets a fresh
Wine prefix under FOLDER:

  install   msiexec /i: the files, the Start menu shortcut, "Open with", App Paths and
            the Apps & features entry; the installed quorvel-cli.exe run by its path from
            another folder; the installed quorvel.exe opening a file through the
            registered open command (Win32Program.OpensTheFilesItIsGiven of the window
            tests, on a display of its own); then msiexec /x, after which the files and
            registry are as they were before the install.
  upgrade   the older version, then this one, then the rebuild, then the older one again:
            always exactly one Apps & features entry, of this version.

Prints every failed check with what was found, and exits 1 if there was one.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "cmake" / "wine-run"
WITH_DISPLAY = ROOT / "cmake" / "with-display"
RUN_WINDOW_TESTS = ROOT / "tests" / "windows" / "run-window-tests"

INSTALL_DIR = "C:\\Program Files\\Quorvel\\"
PROGRAMS = ["quorvel.exe", "quorvel-cli.exe", "LICENSE.txt", "README.txt"]
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
APP_PATHS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths"
APPLICATION = r"HKLM\Software\Classes\Applications\quorvel.exe"
PROGID = r"HKLM\Software\Classes\Quorvel.MidiFile"
WINDOW = INSTALL_DIR + "quorvel.exe"
OPEN_COMMAND = f'"{WINDOW}" "%1"'
WINDOW_TEST = "Win32Program.OpensTheFilesItIsGiven"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"

# Every value the install writes: (key, value name or "" for the default) -> data.
EXPECTED_VALUES = {
    (APP_PATHS + r"\quorvel.exe", ""): WINDOW,
    (APP_PATHS + r"\quorvel.exe", "Path"): INSTALL_DIR,
    (APP_PATHS + r"\quorvel-cli.exe", ""): INSTALL_DIR + "quorvel-cli.exe",
    (APP_PATHS + r"\quorvel-cli.exe", "Path"): INSTALL_DIR,
    (APPLICATION, "FriendlyAppName"): "Quorvel",
    (APPLICATION + r"\DefaultIcon", ""): f'"{WINDOW}",0',
    (APPLICATION + r"\shell\open\command", ""): OPEN_COMMAND,
    (APPLICATION + r"\SupportedTypes", ".mid"): "",
    (APPLICATION + r"\SupportedTypes", ".kar"): "",
    (PROGID, ""): "MIDI file",
    (PROGID, "FriendlyTypeName"): "MIDI file",
    (PROGID + r"\DefaultIcon", ""): f'"{WINDOW}",0',
    (PROGID + r"\shell\open\command", ""): OPEN_COMMAND,
    (r"HKLM\Software\Classes\.mid\OpenWithProgids", "Quorvel.MidiFile"): "",
    (r"HKLM\Software\Classes\.kar\OpenWithProgids", "Quorvel.MidiFile"): "",
}

failures = []


def check(condition, what, found=None):
    if not condition:
        failures.append(what if found is None else f"{what}\n      found: {found}")
    return condition


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Prefix:
    """A fresh Wine prefix of one scenario."""

    def __init__(self, folder):
        self.folder = Path(folder).resolve()
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        self.drive_c = self.folder / "drive_c"
        self.install_dir = self.drive_c / "Program Files" / "Quorvel"

    def start(self):
        return subprocess.Popen([str(WINE_RUN), str(self.folder), "wineboot", "--init"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *arguments, cwd=None):
        # The output goes through files, not pipes: Wine's services, started by the first
        # command and kept by the server, inherit its handles and would hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([str(WINE_RUN), str(self.folder), *arguments], cwd=cwd,
                                  stdout=out, stderr=err).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(arguments, code, out.read().decode(errors="replace"),
                                               err.read().decode(errors="replace"))

    def msiexec(self, action, msi):
        result = self.run("msiexec", action, windows_path(msi), "/qn")
        return result.returncode

    def values(self, key):
        """The values of a key as {name: data} ("" for the default), or None if it is missing."""
        result = self.run("reg", "query", key)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.splitlines():
            match = re.match(r"^    (.*?)    (REG_\w+)(?:    (.*))?$", line)
            if not match:
                continue
            name, data = match.group(1), match.group(3) or ""
            if name == "(Default)":
                if data == "(value not set)":
                    continue
                name = ""
            values[name] = data
        return values

    def entries(self):
        """The Apps & features entries named Quorvel: {key: {name: data}}."""
        result = self.run("reg", "query", UNINSTALL, "/s")
        entries, key = {}, None
        for line in result.stdout.splitlines():
            if line.startswith("HKEY_"):
                key = line.strip()
                entries[key] = {}
                continue
            match = re.match(r"^    (.*?)    (REG_\w+)(?:    (.*))?$", line)
            if match and key:
                entries[key][match.group(1)] = match.group(3) or ""
        return {k: v for k, v in entries.items() if v.get("DisplayName") == "Quorvel"}

    def shortcuts(self):
        """Every Quorvel.lnk in the Start menus, all users' and the user's."""
        menus = [self.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs"]
        menus += (self.drive_c / "users").glob("*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
        return [menu / "Quorvel.lnk" for menu in menus if (menu / "Quorvel.lnk").exists()]

    def files(self):
        """Every path under drive_c but C:\\windows, where the package puts nothing (Windows
        Installer keeps its cache there, and Wine its own files)."""
        paths = (str(p.relative_to(self.drive_c)) for p in self.drive_c.rglob("*"))
        return {p for p in paths if p.split("/")[0].lower() != "windows"}

    def serve(self):
        """Starts Wine's server of the prefix to stay: each Wine command then takes a
        tenth of a second instead of one and a half for the start of the server and its
        services."""
        subprocess.run([WINESERVER, "-p"], env=dict(os.environ, WINEPREFIX=str(self.folder)), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        """Ends Wine's server of the prefix and waits for it, which saves its registry."""
        for option in ("-k", "-w"):
            subprocess.run([WINESERVER, option], env=dict(os.environ, WINEPREFIX=str(self.folder)),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def registry(self):
        """The keys and values under HKLM\\Software and HKCU\\Software as lines, read from
        the prefix's registry files once the server has saved them. Left out: Windows
        Installer's own empty bookkeeping keys (made by the first install, as on Windows),
        and what Wine keeps for itself there (network cards, display colours)."""
        self.stop()
        lines, key = set(), None
        for hive, name in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
            for line in (self.folder / name).read_text(encoding="utf-8", errors="replace").splitlines():
                if line.startswith("["):
                    key = None
                    path = line[1:line.index("]")]
                    if path.startswith("Software\\\\") and not re.search(
                            r"\\\\NetworkCards(\\\\|$)|^Software\\\\Wine(\\\\|$)", path):
                        key = f"{hive}\\{path}"
                        if not re.search(r"\\\\Installer(\\\\|$)", path):
                            lines.add(key)
                elif key and line.strip() and not line.startswith("#"):
                    lines.add(f"{key} {line}")
        self.serve()
        return lines


def check_installed(prefix, version):
    for name in PROGRAMS:
        check((prefix.install_dir / name).is_file(), f"{INSTALL_DIR}{name} is installed")
    entries = prefix.entries()
    if check(len(entries) == 1, "exactly one Apps & features entry named Quorvel", entries):
        key, entry = next(iter(entries.items()))
        check(entry.get("DisplayVersion") == version, f"the entry's DisplayVersion is {version}", entry)
        check(entry.get("Publisher") == "The Quorvel developers", "the entry names the publisher", entry)
        check("MsiExec.exe /X" in entry.get("UninstallString", ""), "the entry uninstalls with msiexec", entry)
        check(entry.get("InstallLocation") == INSTALL_DIR, "the entry gives the install folder", entry)
        return key
    return None


def check_icon(prefix, entry_key):
    # Windows writes ARPPRODUCTICON as DisplayIcon in the entry; Wine only as the
    # product's ProductIcon. Either must name the icon Windows Installer saved.
    product = entry_key.rsplit("\\", 1)[-1].strip("{}")
    fields = product.split("-")
    packed = fields[0][::-1] + fields[1][::-1] + fields[2][::-1] + "".join(
        pair[1] + pair[0] for pair in re.findall("..", fields[3] + fields[4]))
    icons = [prefix.entries().get(entry_key, {}).get("DisplayIcon"),
             (prefix.values(r"HKLM\Software\Classes\Installer\Products" + "\\" + packed) or {}).get("ProductIcon")]
    icons = [icon for icon in icons if icon]
    if check(icons, "the entry has an icon (DisplayIcon or ProductIcon)"):
        path = prefix.drive_c / icons[0][3:].replace("\\", "/")
        check(path.is_file() and path.read_bytes()[:4] == b"\0\0\1\0", f"the entry's icon is an icon file: {icons[0]}")


def scenario_install(args, prefix, work):
    prefix.start().wait()
    files_before, registry_before = prefix.files(), prefix.registry()
    mid_default = (prefix.values(r"HKLM\Software\Classes\.mid") or {}).get("")

    started = time.monotonic()
    code = prefix.msiexec("/i", args.msi)
    print(f"   msiexec /i: {time.monotonic() - started:.1f} s")
    if not check(code == 0, "msiexec /i succeeds", f"exit status {code}"):
        return
    entry_key = check_installed(prefix, args.version)
    if entry_key:
        check_icon(prefix, entry_key)

    shortcuts = prefix.shortcuts()
    if check(len(shortcuts) == 1, "one Quorvel.lnk in the Start menu", shortcuts):
        data = shortcuts[0].read_bytes()
        check(WINDOW.encode() in data or WINDOW.encode("utf-16-le") in data,
              f"the shortcut points at {WINDOW}", shortcuts[0])
        print(f"   shortcut: {shortcuts[0].relative_to(prefix.drive_c)}")

    for (key, name), data in EXPECTED_VALUES.items():
        found = (prefix.values(key) or {}).get(name)
        check(found == data, f"{key} [{name or '(Default)'}] = {data}", found)
    check((prefix.values(r"HKLM\Software\Classes\.mid") or {}).get("") == mid_default,
          ".mid's default value (its default program) is left as it was",
          prefix.values(r"HKLM\Software\Classes\.mid"))

    # The installed command line, by its path, with the current folder elsewhere.
    songs = work / "songs"
    shutil.rmtree(songs, ignore_errors=True)
    (songs / "out").mkdir(parents=True)
    shutil.copy(ROOT / "examples" / "band.mid", songs)
    cli = INSTALL_DIR + "quorvel-cli.exe"
    result = prefix.run(cli, "--version", cwd=songs)
    check(result.returncode == 0 and result.stdout.strip() == f"quorvel-cli {args.version}",
          f"{cli} --version prints quorvel-cli {args.version}", result.stdout + result.stderr)
    result = prefix.run(cli, "smf0", "-o", "out", "band.mid", cwd=songs)
    output = songs / "out" / "band.mid"
    check(result.returncode == 0, f"{cli} smf0 -o out band.mid succeeds",
          f"exit status {result.returncode}: {result.stdout}{result.stderr}")
    check(output.is_file() and output.read_bytes()[:10] == b"MThd\0\0\0\6\0\0",
          "it writes out\\band.mid, a format-0 file, in the current folder", result.stdout)

    # The installed window opens a file through the registered open command.
    command = (prefix.values(APPLICATION + r"\shell\open\command") or {}).get("", "")
    started = time.monotonic()
    environment = dict(os.environ, QUORVEL_WINDOW_EXE=WINDOW, QUORVEL_OPEN_COMMAND=command)
    result = subprocess.run([str(WITH_DISPLAY), str(RUN_WINDOW_TESTS), str(prefix.folder), str(args.window_tests),
                             f"--gtest_filter={WINDOW_TEST}"],
                            env=environment, capture_output=True, text=True, errors="replace")
    print(f"   {WINDOW_TEST} with the installed program: {time.monotonic() - started:.1f} s")
    prefix.serve()
    check(result.returncode == 0 and f"[       OK ] {WINDOW_TEST}" in result.stdout,
          f"{WINDOW_TEST} passes with QUORVEL_WINDOW_EXE={WINDOW} and QUORVEL_OPEN_COMMAND={command}",
          result.stdout[-3000:] + result.stderr[-2000:])

    started = time.monotonic()
    code = prefix.msiexec("/x", args.msi)
    print(f"   msiexec /x: {time.monotonic() - started:.1f} s")
    check(code == 0, "msiexec /x succeeds", f"exit status {code}")
    check(not prefix.install_dir.exists(), f"{INSTALL_DIR} is gone",
          list(prefix.install_dir.rglob("*")) if prefix.install_dir.exists() else None)
    check(not prefix.shortcuts(), "no Quorvel.lnk in the Start menu", prefix.shortcuts())
    check(not prefix.entries(), "no Apps & features entry", prefix.entries())
    for (key, name) in EXPECTED_VALUES:
        check(name not in (prefix.values(key) or {}), f"{key} [{name or '(Default)'}] is gone")
    for key in (APP_PATHS + r"\quorvel.exe", APP_PATHS + r"\quorvel-cli.exe", APPLICATION, PROGID):
        check(prefix.values(key) is None, f"{key} is gone")
    shutil.rmtree(songs)
    files_after = prefix.files()
    check(files_after == files_before, "drive C: holds the same files as before the install",
          f"added {sorted(files_after - files_before)}, removed {sorted(files_before - files_after)}")
    registry_after = prefix.registry()
    check(registry_after == registry_before, "HKLM\\Software and HKCU\\Software are as they were before the install",
          f"added {sorted(registry_after - registry_before)[:20]}, removed {sorted(registry_before - registry_after)[:20]}")


def scenario_upgrade(args, prefix):
    prefix.serve()
    code = prefix.msiexec("/i", args.older_msi)
    check(code == 0, "msiexec /i of the older version succeeds", f"exit status {code}")
    older = prefix.entries()
    check(len(older) == 1 and next(iter(older.values())).get("DisplayVersion") != args.version,
          "the older version has its entry", older)

    code = prefix.msiexec("/i", args.msi)
    check(code == 0, "msiexec /i of this version over the older one succeeds", f"exit status {code}")
    first = check_installed(prefix, args.version)

    code = prefix.msiexec("/i", args.rebuilt_msi)
    check(code == 0, "msiexec /i of a rebuild of this version succeeds", f"exit status {code}")
    second = check_installed(prefix, args.version)
    check(first != second, "the rebuild replaced the installed product", [first, second])

    code = prefix.msiexec("/i", args.older_msi)
    check(code != 0, "msiexec /i of the older version over this one is refused", f"exit status {code}")
    check(check_installed(prefix, args.version) == second, "this version stays installed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--msi", type=Path, required=True)
    parser.add_argument("--older-msi", type=Path, required=True)
    parser.add_argument("--rebuilt-msi", type=Path, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--window-tests", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    # Wine's menu builder would copy the shortcut into this machine's own menus.
    os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml,winemenubuilder.exe="
    os.environ.setdefault("WINEDEBUG", "-all")
    work = args.work.resolve()
    work.mkdir(parents=True, exist_ok=True)

    # Both prefixes are made at once: that is most of the time.
    started = time.monotonic()
    install, upgrade = Prefix(work / "install"), Prefix(work / "upgrade")
    making = upgrade.start()

    try:
        print("== MSI: install, check, open a file, uninstall")
        scenario_install(args, install, work)
        print(f"   {time.monotonic() - started:.1f} s")

        print("== MSI: upgrade from an older version, a rebuild, and a downgrade refused")
        started = time.monotonic()
        making.wait()
        scenario_upgrade(args, upgrade)
        print(f"   {time.monotonic() - started:.1f} s")
    finally:
        making.wait()
        for prefix in (install, upgrade):
            prefix.stop()
    if failures:
        print(f"MSI tests: {len(failures)} failed check(s):")
        for failure in failures:
            print(f"  - {failure}")
        return 1
    print("MSI tests: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
