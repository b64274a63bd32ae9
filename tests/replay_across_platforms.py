#!/usr/bin/env python3
"""A session recorded on one platform replays on the other: records a script
with the Linux console and replays it with the Windows console under wine,
then the reverse. Each replay must match every call, and its trace must equal
the recording byte for byte (line feeds on both platforms)."""

import argparse
import os
import subprocess
import sys
import tempfile

SCRIPT = b"i SIM1\nm 4\nh 1200\nv 1B02\nw 2 A1B2C3D4E5F6\nr 6 1 cap.bin\nr 16 1 cap.bin\ne\nc\n"


def run(command, folder, settings, wine):
    env = {k: v for k, v in os.environ.items() if not k.startswith("VANDREL_")}
    env["WINEDEBUG"] = "-all"
    for name, path in settings.items():
        env[name] = ("Z:" + path.replace("/", "\\")) if wine else path
    result = subprocess.run(command, input=SCRIPT, cwd=folder, env=env, capture_output=True,
                            timeout=120)
    return result.stderr


def check(record_with, replay_with, record_wine, replay_wine):
    with tempfile.TemporaryDirectory() as folder:
        recording = os.path.join(folder, "recorded.trace")
        replayed = os.path.join(folder, "replayed.trace")
        run(record_with, folder, {"VANDREL_TRACE": recording}, record_wine)
        errors = run(replay_with, folder, {"VANDREL_TRACE": replayed, "VANDREL_REPLAY": recording},
                     replay_wine)
        with open(recording, "rb") as file:
            recorded = file.read()
        with open(replayed, "rb") as file:
            again = file.read()
        calls = recorded.count(b"\n")
        failures = []
        if b"\r" in recorded:
            failures.append("the recording holds carriage returns")
        if again != recorded:
            failures.append(f"the replayed trace differs:\n{recorded.decode()}---\n{again.decode()}")
        if f"replay: {calls} matched, 0 differed, 0 not reached".encode() not in errors:
            failures.append(f"verdict: {errors!r}")
        return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--linux", required=True, help="the Linux brdtest")
    parser.add_argument("--windows", required=True, help="the Windows brdtest.exe")
    parser.add_argument("--wine", required=True)
    options = parser.parse_args()
    linux = [os.path.abspath(options.linux)]
    windows = [options.wine, os.path.abspath(options.windows)]
    failed = False
    for name, record, replay, record_wine, replay_wine in [
            ("recorded on Linux, replayed on Windows", linux, windows, False, True),
            ("recorded on Windows, replayed on Linux", windows, linux, True, False)]:
        failures = check(record, replay, record_wine, replay_wine)
        print(("FAIL " if failures else "ok   ") + name)
        for failure in failures:
            print("  " + failure.replace("\n", "\n  "))
        failed = failed or bool(failures)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
