#!/usr/bin/env python3
"""End-to-end tests: the real asio-report.exe under Wine, against registry
contents that point at the test driver DLL.

Each scenario fills the registry (its registry.reg, the DLL's own
registration, or both), runs the program once with standard input at end
of file, and compares standard output, standard error and the exit status
with the golden files in scenarios/<name>/ (or files the scenario makes,
where they would only repeat one line). Some scenarios also run, or run
only, with both streams sent to one file and compare that. The driver
objects' event log is checked after every run: each object created once,
initialised once, released exactly once, never called after its release,
switched back to PCM exactly when it accepted DSD; and the objects created,
in order, are compared with the golden objects.txt.

The program writes its streams in text mode, so every line must end in
CR LF; the golden files hold the same text with LF.

One Wine prefix serves the whole run: made in a temporary directory at the
start, its wineserver kept alive throughout and stopped at the end. The DLL
is copied into the prefix as C:\\testdriver\\asio-testdriver.dll, which
registry.reg files name as @SERVER@, and logs beside itself.

Usage: runScenarios.py --exe EXE --dll DLL --wine WINE64 [--update]
With --update the golden files are rewritten from the run; the other
checks still apply.
"""

import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

SCENARIO_DIR = Path(__file__).resolve().parent / "scenarios"

SERVER_PATH = r"C:\testdriver\asio-testdriver.dll"

# The profiles whose answer to the DSD request is ASE_SUCCESS
# (testdriver/profiles.cpp).
DSD_ACCEPTING_PROFILES = {"dsd", "stuckdsd", "crashpcm"}

# The profiles that fault, and the call they fault in: such an object is
# abandoned there, never called again and never released.
FAULTING_PROFILES = {
    "crashinit": "init(",
    "crashchannels": "getChannels",
    "crashchannelinfo": "getChannelInfo(1,out)",
    "crashdsd": "future(kAsioSetIoFormat,1)",
    "crashpcm": "future(kAsioSetIoFormat,0)",
    "crashrelease": "Release",
}

# One run of a Wine program may take this long before the run counts as
# hung; it guards against a program waiting for input, not a time limit.
HANG_SECONDS = 120


@dataclass(frozen=True)
class Scenario:
    name: str
    # Registry steps before the run, in order: "import" (registry.reg),
    # "importOtherView" (otherView.reg, into the registry view of the other
    # word size), "register" and "unregister" (the DLL's own registration).
    setup: tuple = ("import",)
    # Run with the two streams in files of their own, and with standard
    # error sent to standard output's file.
    separate: bool = True
    combined: bool = False
    # Makes the scenario's files instead of scenarios/<name>/, for contents
    # too repetitive to keep: a function of no arguments returning a map
    # from file name to text.
    generated: object = None


RULE = "-" * 57
INIT_FAILS_CLASS = "{7E57A5D0-0000-4E57-A5D0-000000000004}"


def many_drivers() -> dict:
    """105 registrations of the driver whose init fails: only the first 100
    are counted and reported."""
    names = [f"Driver {number:03}" for number in range(1, 106)]
    registry = "Windows Registry Editor Version 5.00\n\n" + "".join(
        f'[HKEY_LOCAL_MACHINE\\Software\\ASIO\\{name}]\n"clsid"="{INIT_FAILS_CLASS}"\n\n' for name in names)
    registry += f'[HKEY_CLASSES_ROOT\\CLSID\\{INIT_FAILS_CLASS}\\InprocServer32]\n@="@SERVER@"\n'
    return {
        "registry.reg": registry,
        "stdout.txt": "Found 100 ASIO Driver(s)\n" + "".join(f"\n{RULE}\n{name}\n" for name in names[:100])
        + "Press any key to exit...\n",
        "stderr.txt": "!!! Error: ASIOInit failed.\n" * 100,
        "exitStatus.txt": "0\n",
        "objects.txt": "".join(f"initfails#{number}\n" for number in range(1, 101)),
    }


SCENARIOS = [
    Scenario("noAsioKey", setup=()),
    Scenario("emptyAsioKey"),
    Scenario("mixedDrivers", combined=True),
    Scenario("classIdCase"),
    Scenario("skippedEntries"),
    Scenario("descriptions"),
    Scenario("nonAscii"),
    Scenario("manyDrivers", generated=many_drivers),
    Scenario("oddDrivers"),
    Scenario("crashingDrivers", separate=False, combined=True),
    Scenario("otherView", setup=("import", "importOtherView")),
    Scenario("sampleDrivers", setup=("register",)),
    Scenario("unregisteredSamples", setup=("register", "unregister")),
]


class Wine:
    """A private Wine prefix with its server kept alive until stop()."""

    def __init__(self, launcher: str, work: Path):
        self.launcher = launcher
        self.work = work
        self.prefix = work / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        # No Mono or Gecko installer prompts at boot.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        self.server = str(Path(launcher).with_name("wineserver"))

    def start(self):
        self.prefix.mkdir(mode=0o700)
        subprocess.run([self.server, "-p"], env=self.env, check=True, stdin=subprocess.DEVNULL)
        # Wine's background services inherit the output handles and outlive
        # the boot, so output goes to a file: a pipe would never close.
        status = self.run(["wineboot", "--init"], self.work / "wineboot.log")
        if status != 0:
            raise RuntimeError(f"wineboot failed ({status}); see {self.work / 'wineboot.log'}")

    def stop(self):
        subprocess.run([self.server, "-k"], env=self.env, stdin=subprocess.DEVNULL)
        subprocess.run([self.server, "-w"], env=self.env, stdin=subprocess.DEVNULL)

    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def run(self, arguments, output: Path, errors: Path = None) -> int:
        """Runs a Wine program with standard input at end of file; its
        standard error goes to errors, or to output's file when None."""
        with open(output, "wb") as out, open(errors or os.devnull, "wb") as err:
            return subprocess.run([self.launcher] + arguments, env=self.env, cwd=self.work,
                                  stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=err if errors else subprocess.STDOUT,
                                  timeout=HANG_SECONDS).returncode


def windows_path(path: Path) -> str:
    """The path under Wine's Z: drive, which maps the Unix root."""
    return "Z:" + str(path).replace("/", "\\")


def write_reg(path: Path, text: str):
    """Writes .reg text as regedit reads any character: UTF-16 with BOM."""
    path.write_bytes(b"\xff\xfe" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-16-le"))


def removal_text(reg_text: str) -> str:
    """A .reg text removing the driver list and every class key that
    reg_text creates."""
    lines = ["Windows Registry Editor Version 5.00", "", r"[-HKEY_LOCAL_MACHINE\Software\ASIO]"]
    classes = {}
    for match in re.finditer(r"^\[(HKEY_CLASSES_ROOT\\CLSID\\[^\\\]]+)", reg_text, re.MULTILINE):
        classes[match.group(1).lower()] = match.group(1)
    lines += [f"[-{key}]" for key in classes.values()]
    return "\n".join(lines) + "\n"


def crlf_text(data: bytes, stream: str, problems: list) -> bytes:
    """Checks that every line of data ends in CR LF; returns it with LF."""
    bare = data.replace(b"\r\n", b"")
    if b"\n" in bare or b"\r" in bare or (data and not data.endswith(b"\r\n")):
        problems.append(f"{stream}: not every line ends in CR LF")
    return data.replace(b"\r\n", b"\n")


def read_objects(log: bytes, problems: list) -> list:
    """Checks the driver objects' events; returns the objects in the order
    they were created."""
    events = {}
    for line in log.decode("utf-8", "replace").splitlines():
        source, _, event = line.partition(": ")
        events.setdefault(source, []).append(event)
    for source, calls in events.items():
        profile = source.split("#")[0]
        if calls[0] != "created":
            problems.append(f"{source}: first event is {calls[0]!r}, not 'created'")
        if profile == "recovers" and not any(call.startswith("recovered in ") for call in calls):
            problems.append(f"{source}: raised and handled no exception of its own")
        releases = [call for call in calls if call.startswith("Release")]
        fault = FAULTING_PROFILES.get(profile)
        if fault is not None:
            if not calls[-1].startswith(fault):
                problems.append(f"{source}: called after its fault in {fault}: {calls[-1]!r}")
            if releases not in ([], ["Release"]) or (releases and fault != "Release"):
                problems.append(f"{source}: released {releases} after faulting")
            continue
        if releases != ["Release -> 0"]:
            problems.append(f"{source}: released {releases}, not exactly once to 0")
        late = [call for call in calls if call.startswith("after release: ")]
        if late:
            problems.append(f"{source}: called after its release: {late}")
        inits = [call for call in calls if call.startswith("init(")]
        if len(inits) != 1:
            problems.append(f"{source}: initialised {len(inits)} times")
        if any("reserved set" in call for call in calls):
            problems.append(f"{source}: format request with reserved bytes set")
        in_dsd = False
        for call in calls + ["end of log"]:
            if call.startswith("future(kAsioSetIoFormat,1"):
                if in_dsd:
                    problems.append(f"{source}: DSD requested again before switching back")
                in_dsd = profile in DSD_ACCEPTING_PROFILES
            elif call.startswith("future(kAsioSetIoFormat,0"):
                if not in_dsd:
                    problems.append(f"{source}: switched to PCM without an accepted switch to DSD")
                in_dsd = False
            elif call.startswith("Release") or call == "end of log":
                if in_dsd:
                    problems.append(f"{source}: left in DSD (at {call!r})")
                in_dsd = False
    return [source for source, calls in events.items() if calls[0] == "created"]


def compare(expected_path: Path, actual: bytes, update: bool, problems: list):
    if update:
        expected_path.write_bytes(actual)
        return
    expected = expected_path.read_bytes() if expected_path.exists() else b""
    if actual != expected:
        diff = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(),
                                    actual.decode("utf-8", "replace").splitlines(),
                                    f"expected {expected_path.name}", "actual", lineterm="", n=2)
        problems.append("\n".join(list(diff)[:60]))


class Runner:
    def __init__(self, wine: Wine, exe: str, bits: int, update: bool):
        self.wine = wine
        self.exe = exe
        self.other_view = "/reg:32" if bits == 64 else "/reg:64"
        self.update = update
        self.log = wine.drive_c() / "testdriver" / "asio-testdriver.dll.log"

    def step(self, arguments, name: str, problems: list):
        """Runs a registry tool. Wine has been seen, rarely, to fail to
        start one ("ShellExecuteEx failed"), so a failed step is tried once
        more, and said so; the program under test is never retried."""
        output = self.wine.work / f"{name}.log"
        for attempt in ("", " (second try)"):
            status = self.wine.run(arguments, output)
            if status == 0:
                if attempt:
                    print(f"    note: {' '.join(arguments)} passed on its second try")
                return
            failure = f"{' '.join(arguments)} failed{attempt} ({status}): {output.read_text(errors='replace')}"
        problems.append(failure)

    def run_program(self, directory: Path, combined: bool, problems: list):
        """Runs the program once and checks what it wrote and what the
        driver objects logged."""
        self.log.unlink(missing_ok=True)
        out = self.wine.work / "stdout"
        err = self.wine.work / "stderr"
        status = self.wine.run([self.exe], out, None if combined else err)
        if combined:
            compare(directory / "combined.txt", crlf_text(out.read_bytes(), "combined", problems), self.update,
                    problems)
        else:
            compare(directory / "stdout.txt", crlf_text(out.read_bytes(), "stdout", problems), self.update, problems)
            compare(directory / "stderr.txt", crlf_text(err.read_bytes(), "stderr", problems), self.update, problems)
        compare(directory / "exitStatus.txt", f"{status}\n".encode(), self.update, problems)
        log = self.log.read_bytes() if self.log.exists() else b""
        objects = "".join(f"{source}\n" for source in read_objects(log, problems))
        compare(directory / "objects.txt", objects.encode(), self.update, problems)

    def run(self, scenario: Scenario) -> list:
        problems = []
        try:
            self.run_steps(scenario, problems)
        except subprocess.TimeoutExpired as timeout:
            problems.append(f"{' '.join(timeout.cmd)} still running after {timeout.timeout} s")
        return problems

    def import_reg(self, reg_text: str, name: str, problems: list, other_view: bool = False):
        reg_file = self.wine.work / f"{name}.reg"
        write_reg(reg_file, reg_text.replace("@SERVER@", SERVER_PATH.replace("\\", "\\\\")))
        if other_view:
            self.step(["reg", "import", windows_path(reg_file), self.other_view], name, problems)
        else:
            self.step(["regedit", "/S", windows_path(reg_file)], name, problems)

    def scenario_directory(self, scenario: Scenario) -> Path:
        if not scenario.generated:
            directory = SCENARIO_DIR / scenario.name
            directory.mkdir(exist_ok=True)
            return directory
        directory = self.wine.work / scenario.name
        directory.mkdir(exist_ok=True)
        for name, text in scenario.generated().items():
            (directory / name).write_text(text, encoding="utf-8")
        return directory

    def run_steps(self, scenario: Scenario, problems: list):
        directory = self.scenario_directory(scenario)
        reg_text = other_text = ""
        dll = ["regsvr32", "/s", SERVER_PATH]
        for action in scenario.setup:
            if action == "import":
                reg_text = (directory / "registry.reg").read_text(encoding="utf-8")
                self.import_reg(reg_text, "import", problems)
            elif action == "importOtherView":
                other_text = (directory / "otherView.reg").read_text(encoding="utf-8")
                self.import_reg(other_text, "importOtherView", problems, other_view=True)
            elif action == "register":
                self.step(dll, "register", problems)
            elif action == "unregister":
                self.step(dll[:1] + ["/u"] + dll[1:], "unregister", problems)
        if not problems:
            if scenario.separate:
                self.run_program(directory, False, problems)
            if scenario.combined:
                self.run_program(directory, True, problems)
        if "register" in scenario.setup:
            self.step(dll[:1] + ["/u"] + dll[1:], "cleanup-unregister", problems)
        self.import_reg(removal_text(reg_text), "cleanup", problems)
        if other_text:
            self.import_reg(removal_text(other_text), "cleanupOtherView", problems, other_view=True)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="asio-report.exe")
    parser.add_argument("--dll", required=True, help="the test driver DLL")
    parser.add_argument("--wine", required=True, help="the Wine launcher, e.g. /usr/lib/wine/wine64")
    parser.add_argument("--bits", type=int, choices=(32, 64), default=64, help="the program's word size")
    parser.add_argument("--update", action="store_true", help="rewrite the golden files from this run")
    parser.add_argument("scenario", nargs="*", help="run only these scenarios")
    arguments = parser.parse_args()

    selected = [s for s in SCENARIOS if not arguments.scenario or s.name in arguments.scenario]
    work = Path(tempfile.mkdtemp(prefix="asio-report-e2e-"))
    wine = Wine(arguments.wine, work)
    passed = failed = 0
    try:
        wine.start()
        server_dir = wine.drive_c() / "testdriver"
        server_dir.mkdir()
        shutil.copyfile(arguments.dll, server_dir / "asio-testdriver.dll")
        runner = Runner(wine, str(Path(arguments.exe).resolve()), arguments.bits, arguments.update)
        for scenario in selected:
            problems = runner.run(scenario)
            if problems:
                failed += 1
                print(f"FAIL {scenario.name}")
                # The run with both streams in one file repeats the log's
                # findings.
                for problem in dict.fromkeys(problems):
                    print("    " + problem.replace("\n", "\n    "))
            else:
                passed += 1
                print(f"{'updated' if arguments.update else 'ok'} {scenario.name}")
            sys.stdout.flush()
    finally:
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
