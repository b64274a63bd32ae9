#!/usr/bin/env python3
"""Runs every example script and every README script through brdcheck.

Each must come out without a finding (exit status 0, nothing printed), except
the scripts in ON_PURPOSE, which show findings on purpose:

- an example (examples/NAME.txt) listed there must get at least one finding;
- a README script listed there must get exactly the findings of the indented
  block that follows it in the README.

The examples are globbed (examples/*.txt), so a new example is checked without
a change here. README scripts are the indented blocks whose first line is
'# NAME.txt'; they are written side by side into one folder, so that the
scripts they run are found as the console would find them.
"""

import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Scripts that show findings on purpose.
ON_PURPOSE = {"mistakes.txt"}

SCRIPT_HEADER = re.compile(r"^# ([\w.-]+\.txt)\s*$")


def indented_blocks(readme):
    """The README's indented code blocks, each a list of lines."""
    blocks, current = [], None
    for line in readme.splitlines():
        if line.startswith("    "):
            if current is None:
                current = []
                blocks.append(current)
            current.append(line[4:])
        elif line.strip() == "" and current is not None:
            current.append("")
        else:
            current = None
    for block in blocks:
        while block and block[-1] == "":
            block.pop()
    return blocks


def readme_scripts(readme):
    """(name, text, the block after it) for each README script."""
    blocks = indented_blocks(readme)
    scripts = []
    for index, block in enumerate(blocks):
        header = SCRIPT_HEADER.match(block[0]) if block else None
        if header:
            following = blocks[index + 1] if index + 1 < len(blocks) else []
            scripts.append((header.group(1), "\n".join(block) + "\n", following))
    return scripts


def run_checker(command, folder, name):
    result = subprocess.run(command + [name], cwd=folder, capture_output=True,
                            env=dict(os.environ, WINEDEBUG="-all"))
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--checker", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--examples", required=True)
    parser.add_argument("--readme", required=True)
    options = parser.parse_args()
    command = options.emulator.split() + [os.path.abspath(options.checker)]

    failures, checked = [], 0
    scratch = tempfile.mkdtemp(prefix="brdcheck-examples-")
    try:
        examples = os.path.join(scratch, "examples")
        shutil.copytree(options.examples, examples)
        for path in sorted(glob.glob(os.path.join(examples, "*.txt"))):
            name = os.path.basename(path)
            status, output = run_checker(command, examples, name)
            checked += 1
            if name in ON_PURPOSE:
                if status != 1 or not output:
                    failures.append(f"examples/{name}: shows findings on purpose, got none")
            elif status != 0 or output:
                failures.append(f"examples/{name}: exit status {status}\n{output}")

        with open(options.readme, encoding="utf-8") as file:
            scripts = readme_scripts(file.read())
        folder = os.path.join(scratch, "readme")
        os.mkdir(folder)
        for name, text, _ in scripts:
            with open(os.path.join(folder, name), "w", newline="\n") as script:
                script.write(text)
        for name, _, following in scripts:
            status, output = run_checker(command, folder, name)
            checked += 1
            if name in ON_PURPOSE:
                expected = "".join(line + "\n" for line in following)
                if output != expected or status != 1:
                    failures.append(f"README {name}: findings differ from the README's\n"
                                    f"expected:\n{expected}actual (status {status}):\n{output}")
            elif status != 0 or output:
                failures.append(f"README {name}: exit status {status}\n{output}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    for failure in failures:
        print("FAIL " + failure)
    print(f"{checked - len(failures)} of {checked} scripts as expected")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
