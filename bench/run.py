#!/usr/bin/env python3
"""Benchmarks the console against the floor of merely reading its input.

Generates two seeded scripts of 1,000,000 lines (a control mix and a data
mix), runs the console on each against a device library that does nothing,
and the floor program (read, trim, split, dispatch on the first byte) on the
same scripts. Reports per workload the time and instructions per line and
their ratios, peak resident memory, heap allocations, start-up against a C
program that only returns, the stand-in library's cost with its trace off,
the traced calls per second with the trace on, and the microbenchmarks.

The backend rows (--part backends) measure the library's other backends on
the control mix: the simulator of a definition file against the built-in one
(instructions a call), the proxy in front of the null device library (its
forwarding in a microbenchmark, its trace with times, and ltrace on the same
run), and the replay of a recording of the whole mix (loading it and
answering from it).

Times are the best of several runs; instructions come from valgrind's
callgrind, which counts them repeatably on a noisy machine.
"""

import argparse
import json
import os
import random
import re
import shutil
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


def run_timed(command, script, env, stderr=subprocess.DEVNULL):
    """Wall time and processor time (user and system) in seconds of one run."""
    with open(script, "rb") as stdin:
        started = time.perf_counter()
        process = subprocess.Popen(command, stdin=stdin, stdout=subprocess.DEVNULL, stderr=stderr,
                                   env=env)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - started
        process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise subprocess.CalledProcessError(process.returncode, command)
    return wall, usage.ru_utime + usage.ru_stime


def best_timed(command, script, env, runs=TIMING_RUNS):
    """The best wall time and the best processor time over several runs."""
    samples = [run_timed(command, script, env) for _ in range(runs)]
    return min(wall for wall, _ in samples), min(cpu for _, cpu in samples)


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
                 "backend-micro", "write-floor", "scratch"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--part", choices=("all", "console", "backends"), default="all",
                        help="the console's rows, the backends' rows, or both")
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
    if options.part in ("all", "console"):
        console_rows(options, scripts, base_env, null_env)
    if options.part in ("all", "backends"):
        if options.part == "all":
            print()
        backend_rows(options, scripts["control"], base_env, null_env)


def console_rows(options, scripts, base_env, null_env):
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


DEFINITIONS = """\
# The built-in simulator's two devices, described as a definition file.
[[device]]
name = "SIM0"

[[device]]
name = "SIM1"
"""
LTRACE_LINES = 20_000


def first_lines(source, path, count):
    with open(source) as lines, open(path, "w") as out:
        for _, line in zip(range(count), lines):
            out.write(line)


def traced_calls(trace):
    """Calls in a trace: lines that are not notes nor written before a call
    was answered (with times, "<since> ... <call>")."""
    calls = 0
    with open(trace, "rb") as file:
        for line in file:
            fields = line.split(b" ", 2)
            if not line.startswith(b"#") and not (len(fields) > 1 and fields[1] == b"..."):
                calls += 1
    return calls


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def backend_rows(options, control, base_env, null_env):
    console = [options.console]
    scratch = options.scratch
    null_library = os.path.join(options.null_device, "libVANDREL.so")
    empty = os.path.join(scratch, "empty.txt")
    open(empty, "w").close()
    load_before = os.getloadavg()[0]

    # Replay: a recording of the whole control mix by the built-in simulator.
    recording = os.path.join(scratch, "recording.txt")
    remove(recording)
    run_once(console, control, dict(base_env, VANDREL_TRACE=recording))
    recorded_calls = traced_calls(recording)
    replay_env = dict(base_env, VANDREL_REPLAY=recording)
    with open(control, "rb") as stdin:
        verdict = subprocess.run(console, stdin=stdin, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, env=replay_env, check=True).stderr
    verdict = verdict.decode().strip().splitlines()[-1]
    start_wall, start_cpu = best_timed(console, empty, base_env)
    load_wall, load_cpu = best_timed(console, empty, replay_env)
    replay_wall, replay_cpu = best_timed(console, control, replay_env)
    builtin_wall, builtin_cpu = best_timed(console, control, base_env)

    # The simulator of a definition file that describes the built-in devices.
    definitions = os.path.join(scratch, "sim0-sim1.toml")
    with open(definitions, "w") as file:
        file.write(DEFINITIONS)
    definitions_env = dict(base_env, VANDREL_DEFINITIONS=definitions)
    sample = os.path.join(scratch, "control-first-lines.txt")
    first_lines(control, sample, LTRACE_LINES)
    traces = []
    for env in (base_env, definitions_env):
        trace = os.path.join(scratch, f"definitions-check-{len(traces)}.txt")
        remove(trace)
        run_once(console, sample, dict(env, VANDREL_TRACE=trace))
        with open(trace, "rb") as file:
            traces.append(file.read())
        os.remove(trace)
    same_trace = traces[0] == traces[1]
    counts = {}
    for name, env in (("null", null_env), ("builtin", base_env), ("definitions", definitions_env)):
        counts[name] = (instructions(console, control, env), instructions(console, empty, env))

    def per_call(name, without_start):
        run, start = counts[name]
        null_run, null_start = counts["null"]
        cost = run - null_run
        if without_start:
            cost -= start - null_start
        return cost / recorded_calls

    # The proxy in front of the null device library.
    proxy_env = dict(base_env, VANDREL_LIBRARY=null_library)
    proxy_trace = os.path.join(scratch, "proxy-trace.txt")
    timed_runs = []
    for _ in range(3):
        remove(proxy_trace)
        timed_runs.append(run_timed(console, control, dict(
            proxy_env, VANDREL_TRACE=proxy_trace, VANDREL_TRACE_TIME="1")))
    timed_calls = traced_calls(proxy_trace)
    with open(proxy_trace, "rb") as file:
        timed_lines = sum(1 for _ in file)
    os.remove(proxy_trace)
    timed_wall = min(wall for wall, _ in timed_runs)
    timed_cpu = min(cpu for _, cpu in timed_runs)
    # The floor of that trace: a write() for each of its lines and nothing else.
    floor_file = os.path.join(scratch, "write-floor.txt")
    floor_wall, floor_cpu = best_timed([options.write_floor, floor_file, str(timed_lines)], empty,
                                       base_env, runs=3)
    os.remove(floor_file)

    micro = subprocess.run([options.backend_micro, "--benchmark_format=json",
                            "--benchmark_min_time=0.2", "--benchmark_repetitions=5",
                            "--benchmark_report_aggregates_only=true"],
                           capture_output=True, check=True, text=True, env=base_env)
    medians = {result["run_name"]: result for result in json.loads(micro.stdout)["benchmarks"]
               if result.get("aggregate_name") == "median"}

    # ltrace on the first lines of the mix, against this library's trace.
    ltrace = shutil.which("ltrace")
    if ltrace:
        ltrace_out = os.path.join(scratch, "ltrace.txt")
        ltrace_wall = min(run_timed([ltrace, "-e", "Brd*", "-o", ltrace_out] + console, sample,
                                    null_env)[0] for _ in range(2))
        with open(ltrace_out, "rb") as file:
            ltrace_calls = sum(1 for line in file if b"->Brd" in line)
        os.remove(ltrace_out)
        ours_runs = []
        for _ in range(TIMING_RUNS):
            remove(proxy_trace)
            ours_runs.append(run_timed(console, sample, dict(proxy_env, VANDREL_TRACE=proxy_trace))[0])
        ours_calls = traced_calls(proxy_trace)
        os.remove(proxy_trace)
        ours_wall = min(ours_runs)
        untraced_wall = best_timed(console, sample, null_env)[0]

    print(f"Backends, on the control mix; load average {load_before:.1f} at the start, "
          f"{os.getloadavg()[0]:.1f} at the end (2 cores).")
    print()
    print("| measure | figure | target |")
    print("|---|---|---|")
    print(f"| definition file describing SIM0 and SIM1 / built-in simulator, instructions a call "
          f"beyond the null device | {per_call('definitions', False) / per_call('builtin', False):.3f} "
          f"({per_call('definitions', False):.1f} / {per_call('builtin', False):.1f}; "
          f"{per_call('definitions', True):.1f} / {per_call('builtin', True):.1f} without start-up); "
          f"traces {'identical' if same_trace else 'DIFFER'} on the first {LTRACE_LINES:,} lines "
          f"| at most 1.2 |")
    print(f"| whole run, definition file / built-in, instructions "
          f"| {counts['definitions'][0] / counts['builtin'][0]:.3f} "
          f"({counts['definitions'][0]:,} / {counts['builtin'][0]:,}) | – |")
    for function in ("HighVoltage", "Command", "ReadData"):
        direct = medians[f"BM_MakerDirect_{function}"]
        proxy = medians[f"BM_Proxy_{function}"]
        print(f"| proxy, trace off: Brd{function} through this library minus the null device called "
              f"directly, median of 5 | {proxy['cpu_time'] - direct['cpu_time']:.1f} ns processor "
              f"time ({proxy['cpu_time']:.1f} / {direct['cpu_time']:.1f} ns); "
              f"{proxy['real_time'] - direct['real_time']:.1f} ns wall "
              f"({proxy['real_time']:.1f} / {direct['real_time']:.1f} ns) | at most 5 ns |")
    print(f"| proxy, trace with times to a file, written through: calls a second "
          f"| {timed_calls / timed_wall:,.0f} by the wall clock, {timed_calls / timed_cpu:,.0f} "
          f"by processor time ({timed_calls:,} calls, {timed_lines:,} lines, "
          f"best {timed_wall:.3f} s wall, {timed_cpu:.3f} s processor) | at least 500,000 |")
    print(f"| floor of that trace: {timed_lines:,} write() calls of one line each to a file, "
          f"as calls a second ({timed_lines / timed_calls:.1f} lines a call) "
          f"| {timed_calls / floor_wall:,.0f} by the wall "
          f"clock, {timed_calls / floor_cpu:,.0f} by processor time ({floor_wall:.3f} s wall, "
          f"{floor_cpu:.3f} s processor) | – |")
    if ltrace:
        print(f"| first {LTRACE_LINES:,} lines: ltrace -e 'Brd*' with the null device / proxy "
              f"tracing to a file, wall time | {ltrace_wall / ours_wall:.0f} times "
              f"({ltrace_wall:.3f} s / {ours_wall:.3f} s; {ltrace_calls:,} / {ours_calls:,} calls; "
              f"untraced {untraced_wall:.3f} s; time added by the trace "
              f"{(ltrace_wall - untraced_wall) / max(ours_wall - untraced_wall, 1e-6):.0f} times) "
              f"| – |")
    else:
        print("| ltrace against this library's trace | ltrace is not installed | – |")
    print(f"| replay: loading a recording of {recorded_calls:,} calls "
          f"({os.path.getsize(recording) / 1e6:.0f} MB; run with an empty script minus one "
          f"without the recording) | {load_wall - start_wall:.3f} s wall, "
          f"{load_cpu - start_cpu:.3f} s processor | under 1 s |")
    print(f"| replay: answering the whole mix (the run minus the loading run) "
          f"| {recorded_calls / (replay_wall - load_wall):,.0f} calls a second by the wall clock, "
          f"{recorded_calls / (replay_cpu - load_cpu):,.0f} by processor time "
          f"({replay_wall:.3f} s / {load_wall:.3f} s wall); {verdict} | at least 1,000,000 |")
    print(f"| for scale: the built-in simulator on the same mix, trace off | "
          f"{builtin_wall:.3f} s wall, {builtin_cpu:.3f} s processor | – |")


if __name__ == "__main__":
    main()
