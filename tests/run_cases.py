#!/usr/bin/env python3
"""Runs end-to-end case tables against the built console.

Each case runs brdtest in a scratch folder with a script on standard input and
the stand-in library's trace switched on, then compares the trace, standard
output, standard error, exit status and files with what the case expects.

A case table is a text file of cases:

    === name of the case
    --- section [argument]
    content lines
    ...

Lines before the first case are comments. A section's content is its lines, each ended by a line feed;
blank lines at the end of a section are dropped, so an empty section is empty.
A section name ending in ':py' holds one Python expression instead, giving
bytes or str (for bytes that plain lines cannot show). A section name ending
in '@linux' or '@windows' applies on that platform only and replaces the plain
section there. On Windows the console's standard output and standard error
end their lines with a carriage return and a line feed; expected stdout and
stderr are written with line feeds only and translated for the comparison.

Sections that set a case up:
    args            one command-line argument per line (args:py: a list)
    env             NAME=VALUE lines added to the environment
    stdin           standard input (default: empty)
    stdin-path      a path opened as standard input instead (for example .)
    stdin-closed    the console starts with standard input closed
    stdout-closed   the console starts with standard output closed
    stdout-broken   standard output is a pipe whose reader has gone
    files:py NAMES  a dict of file name to content, created like file
    file NAME       a file created in the scratch folder before the run
    copy NAME       a file of the repository (path relative to its root, the
                    section's content) copied into the scratch folder as NAME
    dir NAME        a folder created in the scratch folder before the run
    read-only NAME  the file or folder NAME (made by file or dir) loses its
                    write permission before the run
    skip-as-root    the case is skipped when the tests run as root, which may
                    write where permissions forbid it (skip-as-root@linux: only
                    there)
    platform        linux or windows: the case runs on that platform only
    requires        a feature of the build that the case needs; the run skips
                    it when started with --lacks naming that feature
    timeout         seconds before the run counts as hung (default 30)
    kill-after      seconds after which the console is killed (SIGKILL)

In env values, {maker} is the path of the stand-in that plays the maker's
library (its settings start with MAKER_), {null_device} that of the null
device library, {chatty_maker} that of a maker's library whose functions call
each other, {library} that of the library beside the console, and
{work} the scratch folder, each as the console sees it.

Sections that state what is expected (defaults in brackets):
    trace           every line of the call trace [not compared]
    trace-head      the first lines of the call trace
    trace-count     the number of trace lines
    trace-matches   one regular expression a trace line, matched in order
                    against every line of the trace (for times)
    stdout          standard output [empty]
    await-stdout    standard output that must arrive while the console still
                    runs: standard input stays open until these bytes have
                    been read from the pipe, so the console cannot have ended;
                    the case fails if they do not come within the timeout or
                    the console ends first. stdout still states the whole
                    output
    stderr          standard error [empty]
    status          exit status [0]
    captured NAME   the exact bytes of a file after the run
    absent NAME     the file does not exist after the run
    slower-than     seconds the run takes at least (for pauses)
    ignore          streams not compared, one a line: stdout, stderr
"""

import argparse
import difflib
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

SETUP_SECTIONS = {"args", "env", "stdin", "stdin-path", "stdin-closed", "stdout-closed", "copy",
                  "stdout-broken", "file", "files", "dir", "read-only", "skip-as-root",
                  "platform", "timeout", "kill-after", "requires"}
NAMED_SECTIONS = {"file", "dir", "copy", "read-only", "captured", "absent"}
EXPECT_SECTIONS = {"trace", "trace-head", "trace-count", "trace-matches", "stdout", "await-stdout", "stderr",
                   "status", "captured", "absent", "slower-than", "ignore"}


class CaseError(Exception):
    pass


class Case:
    def __init__(self, name, source, line):
        self.name = name
        self.where = f"{source}:{line}"
        self.sections = []  # (name, argument, platform, content)

    def add(self, header, lines, platform_name):
        name, _, argument = header.partition(" ")
        name, _, platform = name.partition("@")
        python = name.endswith(":py")
        name = name.removesuffix(":py")
        if name not in SETUP_SECTIONS | EXPECT_SECTIONS:
            raise CaseError(f"{self.where}: unknown section '{name}'")
        if name in NAMED_SECTIONS and not argument.strip():
            raise CaseError(f"{self.where}: section '{name}' needs a file name")
        while lines and lines[-1] == "":
            lines.pop()
        if python:
            content = eval("(" + "\n".join(lines) + "\n)", {})  # the case table is our own
        else:
            content = "".join(line + "\n" for line in lines)
        if not platform or platform == platform_name:
            self.sections.append((name, argument.strip(), bool(platform), content))

    def get(self, name, default=None):
        """The section's content; a platform-specific section wins."""
        found = [s for s in self.sections if s[0] == name]
        found.sort(key=lambda s: s[2])
        return found[-1][3] if found else default

    def all(self, name):
        chosen = {}
        for section_name, argument, specific, content in self.sections:
            if section_name == name and (specific or argument not in chosen):
                chosen[argument] = content
        return chosen


def parse_table(path, platform_name):
    cases = []
    case = None
    header = None
    lines = []

    def finish_section():
        if case is not None and header is not None:
            case.add(header, lines, platform_name)

    with open(path, encoding="utf-8") as table:
        for number, raw in enumerate(table, 1):
            line = raw.rstrip("\n")
            if line.startswith("=== "):
                finish_section()
                case = Case(line[4:].strip(), path, number)
                cases.append(case)
                header, lines = None, []
            elif line.startswith("--- ") and case is not None:
                finish_section()
                header, lines = line[4:].strip(), []
            elif header is not None:
                lines.append(line)
            elif line.strip() and not line.startswith("#"):
                raise CaseError(f"{path}:{number}: text outside a section: {line!r}")
        finish_section()
    return cases


def as_bytes(content):
    return content if isinstance(content, bytes) else content.encode("utf-8", "surrogateescape")


def show(data):
    text = data.decode("utf-8", "backslashreplace") if isinstance(data, bytes) else data
    return text.splitlines(keepends=True) or [""]


def compare(what, expected, actual, failures):
    if expected != actual:
        diff = difflib.unified_diff(show(expected), show(actual), "expected", "actual", lineterm="")
        failures.append(f"{what} differs:\n" + "".join(
            d if d.endswith("\n") else d + "\n" for d in diff))


class Runner:
    def __init__(self, console, emulator, platform_name, round_trip=False, lacks=()):
        self.round_trip = round_trip
        self.lacks = set(lacks)
        self.console = console
        self.emulator = emulator
        self.platform = platform_name

    def host_path(self, path):
        """A path as the console sees it: Windows builds under wine see Z:."""
        if self.platform == "windows":
            return "Z:" + os.path.abspath(path).replace("/", "\\")
        return path

    def library_path(self, folder, name):
        if self.platform == "windows":
            return self.host_path(os.path.join(folder, name + ".dll"))
        return os.path.join(folder, "lib" + name + ".so")

    def substitute(self, value, work):
        folder = os.path.dirname(self.console)
        return (value.replace("{maker}", self.library_path(folder, "VANDREL-maker"))
                .replace("{library}", self.library_path(folder, "VANDREL"))
                .replace("{null_device}", self.library_path(os.path.join(folder, "null_device"), "VANDREL"))
                .replace("{chatty_maker}", self.library_path(os.path.join(folder, "chatty_maker"), "chatty_maker"))
                .replace("{work}", self.host_path(work)))

    def console_text(self, expected):
        """Expected console output in the platform's line ends."""
        expected = as_bytes(expected)
        return expected.replace(b"\n", b"\r\n") if self.platform == "windows" else expected

    def run(self, case):
        wanted = case.get("platform")
        if wanted and wanted.strip() != self.platform:
            return None
        if set(case.get("requires", "").split()) & self.lacks:
            return None
        if case.get("skip-as-root") is not None and hasattr(os, "geteuid") and os.geteuid() == 0:
            return None
        if self.round_trip and not self.replayable(case):
            return None
        scratch = tempfile.mkdtemp(prefix="brdtest-case-")
        try:
            failures = self.run_in(case, scratch)
            if not failures and self.round_trip:
                failures = self.replay_in(case, scratch)
            return failures
        finally:
            for name in case.all("read-only"):
                path = os.path.join(scratch, "work", name)
                if os.path.lexists(path):
                    os.chmod(path, os.stat(path).st_mode | 0o200)
            shutil.rmtree(scratch, ignore_errors=True)

    @staticmethod
    def replayable(case):
        """Cases whose trace is a recording: the library traces to its usual
        file and answers from a backend of its own."""
        settings = [line.partition("=")[0] for line in case.get("env", "").splitlines()]
        killed = case.get("kill-after") is not None  # ends by the clock, not by its calls
        return not killed and not any(name in ("VANDREL_TRACE", "VANDREL_REPLAY") for name in settings)

    def replay_in(self, case, scratch):
        """Runs the case again, answered from its own trace: the new trace must
        equal the recording, the console's output must be the same, and the
        verdict must say that every call matched."""
        path = os.path.join(scratch, "trace.txt")
        if not os.path.exists(path):
            return []  # no call was made: nothing to replay
        with open(path, "rb") as file:
            recording = file.read()
        again = os.path.join(scratch, "again")
        os.mkdir(again)
        recording = self.without_times(recording)
        calls = sum(1 for line in recording.splitlines() if line and not line.startswith(b"#"))
        verdict = f"replay: {calls} matched, 0 differed, 0 not reached\n"
        return [f"round trip: {failure}" for failure in
                self.run_in(case, again, replay_of=recording, expected_trace=recording,
                            stderr_tail=verdict)]

    @staticmethod
    def without_times(trace):
        """The trace without what differs from run to run: the times, the
        lines of calls still running, the summary, and the notes of problems
        met by the backend that the recording replaced."""
        lines = []
        for line in trace.splitlines(keepends=True):
            if (line.startswith((b"# summary ", b"# VANDREL: "))
                    or re.match(rb"\d+\.\d{6} \.\.\. ", line)):
                continue
            lines.append(re.sub(rb"^\d+\.\d{6} \d+\.\d{6} ", b"", line))
        return b"".join(lines)

    def run_in(self, case, scratch, replay_of=None, expected_trace=None, stderr_tail=""):
        work = os.path.join(scratch, "work")
        os.mkdir(work)
        for name in case.all("dir"):
            os.makedirs(os.path.join(work, name), exist_ok=True)
        files = dict(case.all("file"))
        for generated in case.all("files").values():
            files.update(generated)
        repository = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        for name, source in case.all("copy").items():
            with open(os.path.join(repository, source.strip()), "rb") as file:
                files[name] = file.read()
        for name, content in files.items():
            path = os.path.join(work, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as file:
                file.write(as_bytes(content))
        for name in case.all("read-only"):
            path = os.path.join(work, name)
            os.chmod(path, os.stat(path).st_mode & ~0o222)
        trace_path = os.path.join(scratch, "trace.txt")

        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("VANDREL_", "MAKER_"))}
        env["VANDREL_TRACE"] = self.host_path(trace_path)
        env["WINEDEBUG"] = "-all"
        for line in case.get("env", "").splitlines():
            key, _, value = line.partition("=")
            env[key] = self.substitute(value, work)
        if replay_of is not None:
            # The recording alone answers: the library it was recorded from
            # (a maker's library, a definition file) is gone.
            for key in [key for key in env if key.startswith("MAKER_")] + [
                    "VANDREL_LIBRARY", "VANDREL_DEFINITIONS", "VANDREL_DEVICES", "VANDREL_FAULT"]:
                env.pop(key, None)
            recording = os.path.join(scratch, "recording.txt")
            with open(recording, "wb") as file:
                file.write(replay_of)
            env["VANDREL_REPLAY"] = self.host_path(recording)
        args = case.get("args", [])
        if isinstance(args, str):
            args = args.splitlines()
        command = self.emulator + [self.console] + list(args)
        timeout = float(case.get("timeout", "30"))

        closed = []  # descriptors the console starts without
        stdin = subprocess.PIPE
        stdin_data = as_bytes(case.get("stdin", b""))
        stdout = subprocess.PIPE
        opened = []
        if case.get("stdin-path") is not None:
            stdin = os.open(os.path.join(work, case.get("stdin-path").strip()), os.O_RDONLY)
            opened.append(stdin)
        if case.get("stdin-closed") is not None:
            closed.append(0)
        if case.get("stdout-closed") is not None:
            closed.append(1)
        if case.get("stdout-broken") is not None:
            reader, stdout = os.pipe()
            os.close(reader)  # every write to standard output meets a closed pipe
            opened.append(stdout)

        def close_descriptors():
            for descriptor in closed:
                os.close(descriptor)

        try:
            started = time.monotonic()
            process = subprocess.Popen(command, cwd=work, env=env, stdin=stdin, stdout=stdout,
                                       stderr=subprocess.PIPE, preexec_fn=close_descriptors)
            for descriptor in opened:
                os.close(descriptor)
            opened = []
            awaited = case.get("await-stdout")
            early = b""
            if awaited is not None:
                early, failure = self.await_output(process, stdin_data,
                                                   self.console_text(awaited), timeout)
                if failure:
                    process.kill()
                    process.communicate()
                    return [failure]
                stdin_data = None  # written; communicate closes standard input
            to_send = stdin_data if stdin == subprocess.PIPE else None
            kill_after = case.get("kill-after")
            try:
                out, err = process.communicate(
                    to_send, timeout=float(kill_after) if kill_after is not None else timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                out, err = process.communicate()
                if kill_after is None:
                    return [f"hung: no exit within {timeout} s"]
            out = early + (out or b"")
            elapsed = time.monotonic() - started
        finally:
            for descriptor in opened:
                os.close(descriptor)
        result = subprocess.CompletedProcess(command, process.returncode, out or b"", err)

        failures = []
        trace = b""
        if os.path.exists(trace_path):
            with open(trace_path, "rb") as file:
                trace = file.read()
        if expected_trace is not None:
            compare("trace", expected_trace, self.without_times(trace), failures)
        else:
            self.check_trace(case, trace, failures)
        ignored = case.get("ignore", "").split()
        if "stdout" not in ignored:
            compare("standard output", self.console_text(case.get("stdout", b"")),
                    result.stdout, failures)
        if "stderr" not in ignored:
            expected_stderr = as_bytes(case.get("stderr", b""))
            actual_stderr = result.stderr
            if replay_of is not None:
                # The library's own messages concern the backend that the
                # recording replaced.
                def console_only(text):
                    return b"".join(line for line in text.splitlines(keepends=True)
                                    if not line.startswith(b"VANDREL: "))
                expected_stderr = console_only(expected_stderr)
                actual_stderr = console_only(actual_stderr)
            compare("standard error", self.console_text(expected_stderr + stderr_tail.encode()),
                    actual_stderr, failures)
        compare("exit status", str(int(case.get("status", "0"))), str(result.returncode), failures)
        for name, content in case.all("captured").items():
            if replay_of is not None and ("=" + name + "\n") in case.get("env", ""):
                continue  # written by the library that the recording replaced
            path = os.path.join(work, name)
            if not os.path.isfile(path):
                failures.append(f"file {name} was not written")
                continue
            with open(path, "rb") as file:
                compare(f"file {name}", as_bytes(content), file.read(), failures)
        shortest = case.get("slower-than")
        if shortest is not None and replay_of is None and elapsed < float(shortest):
            failures.append(f"ran {elapsed:.3f} s, expected at least {float(shortest)} s")
        for name in case.all("absent"):
            if os.path.lexists(os.path.join(work, name)):
                failures.append(f"file {name} exists but should not")
        return failures

    @staticmethod
    def await_output(process, stdin_data, expected, timeout):
        """Writes standard input but leaves it open, so that the console cannot
        end, and reads standard output until it holds the expected bytes.
        Returns what was read, and a failure or None."""
        process.stdin.write(stdin_data)
        process.stdin.flush()
        received = b""
        deadline = time.monotonic() + timeout
        while len(received) < len(expected):
            left = deadline - time.monotonic()
            if left <= 0:
                return received, (f"standard output held back: {received!r} of {expected!r} "
                                  f"within {timeout} s while the console waited for input")
            ready, _, _ = select.select([process.stdout], [], [], left)
            if ready:
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    return received, "the console ended before its standard output arrived"
                received += chunk
        if not received.startswith(expected):
            return received, f"standard output while running: expected {expected!r}, got {received!r}"
        return received, None

    @staticmethod
    def check_trace(case, trace, failures):
        expected = case.get("trace")
        if expected is not None:
            compare("trace", as_bytes(expected), trace, failures)
        head = case.get("trace-head")
        if head is not None:
            head = as_bytes(head)
            compare("start of trace", head, trace[:len(head)], failures)
        patterns = case.get("trace-matches")
        if patterns is not None:
            lines = trace.decode("utf-8", "backslashreplace").splitlines()
            patterns = patterns.splitlines()
            if len(lines) != len(patterns):
                failures.append(f"trace has {len(lines)} lines, expected {len(patterns)}:\n"
                                + "\n".join(lines))
            for number, (pattern, line) in enumerate(zip(patterns, lines), 1):
                if not re.fullmatch(pattern, line):
                    failures.append(f"trace line {number} {line!r} does not match {pattern!r}")
        count = case.get("trace-count")
        if count is not None:
            compare("number of trace lines", str(int(count)), str(trace.count(b"\n")), failures)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--console", required=True, help="the brdtest executable")
    parser.add_argument("--emulator", default="", help="command that runs the console (wine)")
    parser.add_argument("--platform", default="linux", choices=["linux", "windows"])
    parser.add_argument("--filter", default="", help="run only cases whose name matches")
    parser.add_argument("--round-trip", action="store_true",
                        help="run each case, then again answered from its own trace")
    parser.add_argument("--lacks", action="append", default=[],
                        help="a feature this build lacks: cases that require it are skipped")
    parser.add_argument("tables", nargs="+")
    options = parser.parse_args()

    runner = Runner(os.path.abspath(options.console), options.emulator.split(), options.platform,
                    options.round_trip, options.lacks)
    passed = failed = skipped = 0
    for table in options.tables:
        for case in parse_table(table, options.platform):
            if options.filter and not re.search(options.filter, case.name):
                continue
            failures = runner.run(case)
            if failures is None:
                skipped += 1
            elif failures:
                failed += 1
                print(f"FAIL {case.name} ({case.where})")
                for failure in failures:
                    print("  " + failure.replace("\n", "\n  ").rstrip())
            else:
                passed += 1
                print(f"ok   {case.name}")
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    # A table must run something; in a round trip, a table whose cases all
    # replay recordings of their own has nothing to do.
    return 1 if failed or (passed == 0 and not (options.round_trip and skipped)) else 0


if __name__ == "__main__":
    sys.exit(main())
