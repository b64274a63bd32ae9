#!/usr/bin/env python3
"""Times brdcheck against the console on the benchmark workloads.

Checks each seeded script of 1,000,000 lines (the control and data mixes of
run.py, shared through the same scratch folder) with brdcheck, and runs it
through the console against the null device library. Reports the time and
instructions of both and their ratio; the target is a check in at most twice
the console's time. Both read the script on standard input; brdcheck must
find nothing in it.
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run  # noqa: E402  the workloads and the measuring helpers


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("checker", "console", "null-device", "scratch"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    os.makedirs(options.scratch, exist_ok=True)

    scripts = {
        "control": os.path.join(options.scratch, f"control-{run.SEED}.txt"),
        "data": os.path.join(options.scratch, f"data-{run.SEED}.txt"),
    }
    run.generate(scripts["control"], run.control_line)
    run.generate(scripts["data"], run.data_line)
    base_env = {k: v for k, v in os.environ.items() if not k.startswith("VANDREL_")}
    null_env = dict(base_env, LD_LIBRARY_PATH=options.null_device)

    print(f"Seed {run.SEED}, {run.LINES:,} lines per workload; times are the best of "
          f"{run.TIMING_RUNS} runs.")
    print()
    print("| workload | time ratio | instruction ratio | brdcheck ns/line | console ns/line "
          "| brdcheck instr/line | console instr/line |")
    print("|---|---|---|---|---|---|---|")
    for workload, script in scripts.items():
        with open(script, "rb") as stdin:
            found = subprocess.run([options.checker], stdin=stdin, capture_output=True, env=null_env)
        if found.returncode != 0:
            sys.exit(f"brdcheck found something in the {workload} mix:\n"
                     + found.stdout.decode()[:2000])
        checker_time = run.best_time([options.checker], script, null_env)
        console_time = run.best_time([options.console], script, null_env)
        checker_instructions = run.instructions([options.checker], script, null_env)
        console_instructions = run.instructions([options.console], script, null_env)
        print(f"| {workload} | {checker_time / console_time:.2f} "
              f"| {checker_instructions / console_instructions:.2f} "
              f"| {checker_time / run.LINES * 1e9:.0f} | {console_time / run.LINES * 1e9:.0f} "
              f"| {checker_instructions / run.LINES:.0f} | {console_instructions / run.LINES:.0f} |")


if __name__ == "__main__":
    main()
