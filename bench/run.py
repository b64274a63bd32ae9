#!/usr/bin/env python3
"""Benchmarks the console against the floor of merely reading its input.

Generates two seeded scripts of 1,000,000 lines (a control mix and a data
mix), runs the console on each against a device library that does nothing,
and the floor program (read, trim, split, dispatch on the first byte) on the
same scripts. Reports per workload the time and instructions per line and
their ratios, peak resident memory, heap allocations, start-up against a C
program that only returns, the stand-in library's cost with its trace off,
the traced calls per second with the trace on, and the microbenchmarks.

Times are the best of several runs; instructions come from valgrind's
callgrind, which counts them repeatably on a noisy machine.
"""

import argparse
import json
import os
import random
import re
import statistics
import subprocess
import time

LINES = 1_000_000
SEED = 20261211
TIMING_RUNS = 5
STARTUP_RUNS = 300

CONTROL_TEMPLATES = [
    "c", "c 1", "d A", "d 5 1", "h 1200", "h 100 1", "i SIM0", "i",
    "m 4", "m 4 1", "t 3", "t", "v 1B02", "v 0102030405 1", "r 64", "r 1600 1",
]


def hex_text(rng, length):
    return "".join(rng.choice("0123456789ABCDEF") for _ in range(length))


def control_line(rng):
    return rng.choice(CONTROL_TEMPLATES)


def data_line(rng):
    kind = rng.randrange(3)
    if kind == 0:
        pattern = hex_text(rng, 2 * rng.randint(1, 7))
        repeat = 4320 // (len(pattern) // 2)  # repeated to the full buffer
        return f"w 1440 {pattern} {repeat}"
    if kind == 1:
        return "v " + hex_text(rng, rng.randint(100, 200))
    return "r 1600"


def generate(path, make_line):
    if os.path.exists(path):
        return
    rng = random.Random(SEED)
    with open(path, "w") as script:
        for _ in range(LINES):
            script.write(make_line(rng) + "\n")


def run_once(command, script, env):
    """Wall time in seconds of one run."""
    with open(script, "rb") as stdin:
        started = time.perf_counter()
        subprocess.run(command, stdin=stdin, stdout=subprocess.DEVNULL, env=env, check=True)
        return time.perf_counter() - started


def best_time(command, script, env):
    return min(run_once(command, script, env) for _ in range(TIMING_RUNS))


def peak_memory_kb(command, script, env):
    """Peak resident memory of the program itself: GNU time's child is a fork
    of a small process, not of this Python one."""
    with open(script, "rb") as stdin:
        result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdin=stdin,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                                check=True)
    return int(result.stderr.split()[-1])


def instructions(command, script, env):
    """Instructions executed by the whole run, counted by callgrind."""
    with open(script, "rb") as stdin:
        result = subprocess.run(
            ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + command,
            stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, check=True)
    found = re.search(rb"Collected : (\d+)", result.stderr)
    return int(found.group(1))


def allocations(command, script, env, counter, scratch):
    report = os.path.join(scratch, "allocations.txt")
    counted = dict(env, LD_PRELOAD=counter, ALLOCATION_COUNT_FILE=report)
    run_once(command, script, counted)
    with open(report) as file:
        return int(file.read())


def startup_time(command, env, runs):
    samples = []
    for _ in range(runs):
        started = time.perf_counter()
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, env=env,
                       check=True)
        samples.append(time.perf_counter() - started)
    return statistics.median(samples)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("console", "null-device", "floor", "return-only", "allocation-counter", "micro",
                 "scratch"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    os.makedirs(options.scratch, exist_ok=True)

    scripts = {
        "control": os.path.join(options.scratch, f"control-{SEED}.txt"),
        "data": os.path.join(options.scratch, f"data-{SEED}.txt"),
    }
    generate(scripts["control"], control_line)
    generate(scripts["data"], data_line)

    base_env = {k: v for k, v in os.environ.items() if not k.startswith("VANDREL_")}
    null_env = dict(base_env, LD_LIBRARY_PATH=options.null_device)
    console = [options.console]
    floor = [options.floor]

    rows = []
    for workload, script in scripts.items():
        console_time = best_time(console, script, null_env)
        floor_time = best_time(floor, script, base_env)
        console_rss = peak_memory_kb(console, script, null_env)
        console_instructions = instructions(console, script, null_env)
        floor_instructions = instructions(floor, script, base_env)
        heap = allocations(console, script, null_env, options.allocation_counter, options.scratch)
        rows.append({
            "workload": workload,
            "time_ratio": console_time / floor_time,
            "instruction_ratio": console_instructions / floor_instructions,
            "console_ns_per_line": console_time / LINES * 1e9,
            "floor_ns_per_line": floor_time / LINES * 1e9,
            "console_instructions_per_line": console_instructions / LINES,
            "floor_instructions_per_line": floor_instructions / LINES,
            "peak_rss_kb": console_rss,
            "heap_allocations": heap,
        })

    control = scripts["control"]
    null_time = best_time(console, control, null_env)
    standin_time = best_time(console, control, base_env)
    null_instructions = instructions(console, control, null_env)
    standin_instructions = instructions(console, control, base_env)
    trace_file = os.path.join(options.scratch, "trace.txt")
    traced_times = []
    for _ in range(3):
        if os.path.exists(trace_file):
            os.remove(trace_file)
        traced_times.append(run_once(console, control, dict(base_env, VANDREL_TRACE=trace_file)))
    with open(trace_file, "rb") as file:
        traced_calls = sum(1 for _ in file)
    os.remove(trace_file)

    empty = os.path.join(options.scratch, "empty.txt")
    open(empty, "w").close()
    console_startup = startup_time(console, null_env, STARTUP_RUNS)
    c_startup = startup_time([options.return_only], base_env, STARTUP_RUNS)
    console_startup_instructions = instructions(console, empty, null_env)
    c_startup_instructions = instructions([options.return_only], empty, base_env)

    micro = subprocess.run([options.micro, "--benchmark_format=json",
                            "--benchmark_min_time=0.2"],
                           capture_output=True, check=True, text=True)
    micro_results = json.loads(micro.stdout)["benchmarks"]

    print(f"Seed {SEED}, {LINES:,} lines per workload; times are the best of {TIMING_RUNS} runs.")
    print()
    print("| workload | time ratio | instruction ratio | console ns/line | floor ns/line "
          "| console instr/line | floor instr/line | peak RSS | heap allocations |")
    print("|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        print(f"| {row['workload']} | {row['time_ratio']:.2f} | {row['instruction_ratio']:.2f} "
              f"| {row['console_ns_per_line']:.0f} | {row['floor_ns_per_line']:.0f} "
              f"| {row['console_instructions_per_line']:.0f} "
              f"| {row['floor_instructions_per_line']:.0f} "
              f"| {row['peak_rss_kb'] / 1024:.1f} MB | {row['heap_allocations']} |")
    print()
    print("| measure | ratio | figures |")
    print("|---|---|---|")
    print(f"| start-up, console / C program that only returns (median of {STARTUP_RUNS}) "
          f"| {console_startup / c_startup:.2f} "
          f"| {console_startup * 1e3:.2f} ms / {c_startup * 1e3:.2f} ms |")
    print(f"| start-up instructions, console / C program "
          f"| {console_startup_instructions / c_startup_instructions:.2f} "
          f"| {console_startup_instructions:,} / {c_startup_instructions:,} |")
    print(f"| control mix, stand-in with trace off / null device, time "
          f"| {standin_time / null_time:.3f} | {standin_time:.3f} s / {null_time:.3f} s |")
    print(f"| control mix, stand-in with trace off / null device, instructions "
          f"| {standin_instructions / null_instructions:.3f} "
          f"| {standin_instructions:,} / {null_instructions:,} |")
    best_traced = min(traced_times)
    print(f"| control mix, trace on to a file: traced calls per second | – "
          f"| {traced_calls / best_traced:,.0f} ({traced_calls:,} calls in {best_traced:.3f} s) |")
    print()
    print("| microbenchmark | ns per iteration | bytes per second |")
    print("|---|---|---|")
    for result in micro_results:
        rate = result.get("bytes_per_second")
        rate_text = f"{rate / 1e9:.2f} GB/s" if rate else "–"
        print(f"| {result['name']} | {result['real_time']:.1f} | {rate_text} |")


if __name__ == "__main__":
    main()
