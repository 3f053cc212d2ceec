#!/usr/bin/env python3
"""End-to-end tests: the real asio-report.exe under Wine, against drivers
served by the test driver DLL, whose scripts (testdriver/profiles.reg) are
imported once.

Guards against: any fault of the Windows program that changes what it
prints, its exit status, or how it treats drivers.

Each folder of scenarios/ is one scenario: registry.reg (optional) is
imported before the run, otherView.reg into the registry view of the other
word size; the program runs with standard input at end of file, once with
its streams in stdout.txt and stderr.txt when the folder has stdout.txt,
once with both in combined.txt when it has combined.txt; exitStatus.txt
and objects.txt (the driver objects created, in order) are checked on
each run. The program writes its streams in text mode, so every line must
end in CR LF; the golden files hold the same text with LF. The driver
objects' log must show no host mistake (see fake::hostMistakes).

A driver that hangs is given up after the program's limit, which the
golden files give as 30 s: the harness expects the limit the program was
built with (--hang-seconds).

Usage: runScenarios.py --exe EXE --dll DLL --wine WINE [--hang-seconds N]
                       [--update] [NAME...]
With --update the golden files are rewritten from the run.
"""

import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
PROFILES = HERE.parent.parent / "testdriver" / "profiles.reg"
SERVER_PATH = r"C:\testdriver\asio-testdriver.dll"
# One run of a Wine program may take this long before it counts as hung;
# it guards against a program waiting for input, not a time limit.
HANG_SECONDS = 300


class Wine:
    """A private Wine prefix with its server kept alive until stop()."""

    def __init__(self, launcher: str, work: Path):
        self.launcher = launcher
        self.work = work
        self.prefix = work / "prefix"
        # No Mono or Gecko installer prompts at boot.
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.server = str(Path(launcher).with_name("wineserver"))

    def start(self):
        self.prefix.mkdir(mode=0o700)
        subprocess.run([self.server, "-p"], env=self.env, check=True, stdin=subprocess.DEVNULL)
        # Wine's background services inherit the output handles and outlive
        # the boot, so output goes to a file: a pipe would never close.
        if self.run(["wineboot", "--init"], self.work / "wineboot.log") != 0:
            raise RuntimeError(f"wineboot failed; see {self.work / 'wineboot.log'}")

    def stop(self):
        subprocess.run([self.server, "-k"], env=self.env, stdin=subprocess.DEVNULL)
        subprocess.run([self.server, "-w"], env=self.env, stdin=subprocess.DEVNULL)

    def run(self, arguments, output: Path, errors: Path = None) -> int:
        """Runs a Wine program with standard input at end of file; its
        standard error goes to errors, or to output's file when None."""
        with open(output, "wb") as out, open(errors or os.devnull, "wb") as err:
            return subprocess.run([self.launcher] + arguments, env=self.env, cwd=self.work, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err if errors else subprocess.STDOUT,
                                  timeout=HANG_SECONDS).returncode

    def import_reg(self, text: str, name: str, view: str = None):
        """Imports .reg text, written as regedit reads any character: UTF-16
        with BOM. Wine has been seen, rarely, to fail to start a registry
        tool, so a failed import is tried once more."""
        path = self.work / f"{name}.reg"
        text = text.replace("@SERVER@", SERVER_PATH.replace("\\", "\\\\")).replace("\r\n", "\n")
        path.write_bytes(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
        windows_path = "Z:" + str(path).replace("/", "\\")
        command = ["reg", "import", windows_path, view] if view else ["regedit", "/S", windows_path]
        for _ in range(2):
            if self.run(command, self.work / f"{name}.log") == 0:
                return
        raise RuntimeError(f"{' '.join(command)} failed: {(self.work / f'{name}.log').read_text(errors='replace')}")


def removal_text(reg_text: str) -> str:
    """A .reg text removing the driver list and every class key that
    reg_text creates."""
    classes = {m.lower(): m for m in re.findall(r"^\[(HKEY_CLASSES_ROOT\\CLSID\\[^\\\]]+)", reg_text, re.MULTILINE)}
    lines = ["Windows Registry Editor Version 5.00", "", r"[-HKEY_LOCAL_MACHINE\Software\ASIO]"]
    return "\n".join(lines + [f"[-{key}]" for key in classes.values()]) + "\n"


def crlf_text(data: bytes, stream: str, problems: list) -> bytes:
    """Checks that every line of data ends in CR LF; returns it with LF."""
    bare = data.replace(b"\r\n", b"")
    if b"\n" in bare or b"\r" in bare or (data and not data.endswith(b"\r\n")):
        problems.append(f"{stream}: not every line ends in CR LF")
    return data.replace(b"\r\n", b"\n")


def host_mistakes(events: list) -> list:
    """The problems the driver objects noted, and every object released to
    0 other than once although it never got into trouble."""
    mistakes = [line for line in events if ": problem: " in line]
    releases = {}
    for line in events:
        source, _, event = line.partition(": ")
        if event == "created":
            releases[source] = 0
        elif event.startswith("trouble: "):
            releases.pop(source, None)
        elif event == "Release -> 0" and source in releases:
            releases[source] += 1
    return mistakes + [f"{source}: released to 0 {n} times" for source, n in releases.items() if n != 1]


class Runner:
    def __init__(self, wine: Wine, exe: str, bits: int, hang_seconds: int, update: bool):
        self.wine = wine
        self.exe = exe
        self.hang_seconds = hang_seconds
        self.other_view = "/reg:32" if bits == 64 else "/reg:64"
        self.update = update
        self.log = wine.prefix / "drive_c" / "testdriver" / "asio-testdriver.dll.log"

    def compare(self, expected_path: Path, actual: bytes, problems: list):
        limit = (b"(no answer in 30 s)", f"(no answer in {self.hang_seconds} s)".encode())
        if self.update:
            expected_path.write_bytes(actual.replace(limit[1], limit[0]))
            return
        expected = (expected_path.read_bytes() if expected_path.exists() else b"").replace(*limit)
        if actual != expected:
            diff = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(),
                                        actual.decode("utf-8", "replace").splitlines(),
                                        f"expected {expected_path.name}", "actual", lineterm="", n=2)
            problems.append("\n".join(list(diff)[:60]))

    def run_program(self, directory: Path, combined: bool, problems: list):
        self.log.unlink(missing_ok=True)
        out, err = self.wine.work / "stdout", self.wine.work / "stderr"
        status = self.wine.run([self.exe], out, None if combined else err)
        if combined:
            self.compare(directory / "combined.txt", crlf_text(out.read_bytes(), "combined", problems), problems)
        else:
            self.compare(directory / "stdout.txt", crlf_text(out.read_bytes(), "stdout", problems), problems)
            self.compare(directory / "stderr.txt", crlf_text(err.read_bytes(), "stderr", problems), problems)
        self.compare(directory / "exitStatus.txt", f"{status}\n".encode(), problems)
        events = self.log.read_text(errors="replace").splitlines() if self.log.exists() else []
        problems += host_mistakes(events)
        objects = "".join(line.partition(": ")[0] + "\n" for line in events if line.partition(": ")[2] == "created")
        self.compare(directory / "objects.txt", objects.encode(), problems)

    def run(self, directory: Path) -> list:
        problems = []
        registry = directory / "registry.reg"
        other = directory / "otherView.reg"
        reg_text = registry.read_text(encoding="utf-8") if registry.exists() else ""
        other_text = other.read_text(encoding="utf-8") if other.exists() else ""
        try:
            if reg_text:
                self.wine.import_reg(reg_text, "import")
            if other_text:
                self.wine.import_reg(other_text, "importOtherView", self.other_view)
            if (directory / "stdout.txt").exists():
                self.run_program(directory, False, problems)
            if (directory / "combined.txt").exists():
                self.run_program(directory, True, problems)
        except (subprocess.TimeoutExpired, RuntimeError) as failure:
            problems.append(str(failure))
        self.wine.import_reg(removal_text(reg_text), "cleanup")
        if other_text:
            self.wine.import_reg(removal_text(other_text), "cleanupOtherView", self.other_view)
        return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="asio-report.exe")
    parser.add_argument("--dll", required=True, help="the test driver DLL")
    parser.add_argument("--wine", required=True, help="the Wine launcher of the program's word size")
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64, help="the program's word size")
    parser.add_argument("--hang-seconds", type=int, default=30, help="the program's limit for a driver operation")
    parser.add_argument("--update", action="store_true", help="rewrite the golden files from this run")
    parser.add_argument("scenario", nargs="*", help="run only these scenarios")
    arguments = parser.parse_args()

    scenarios = sorted(d for d in (HERE / "scenarios").iterdir() if d.is_dir())
    selected = [d for d in scenarios if not arguments.scenario or d.name in arguments.scenario]
    work = Path(tempfile.mkdtemp(prefix="asio-report-e2e-"))
    wine = Wine(arguments.wine, work)
    passed = failed = 0
    try:
        wine.start()
        (wine.prefix / "drive_c" / "testdriver").mkdir()
        shutil.copyfile(arguments.dll, wine.prefix / "drive_c" / "testdriver" / "asio-testdriver.dll")
        wine.import_reg(PROFILES.read_text(encoding="utf-8"), "profiles")
        runner = Runner(wine, str(Path(arguments.exe).resolve()), arguments.bits, arguments.hang_seconds,
                        arguments.update)
        for directory in selected:
            problems = runner.run(directory)
            if problems:
                failed += 1
                print(f"FAIL {directory.name}")
                # The run with both streams in one file repeats the log's
                # findings.
                for problem in dict.fromkeys(problems):
                    print("    " + problem.replace("\n", "\n    "))
            else:
                passed += 1
                print(f"{'updated' if arguments.update else 'ok'} {directory.name}")
            sys.stdout.flush()
    finally:
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
