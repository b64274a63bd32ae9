#!/usr/bin/env python3
"""Checks what users get: the run path, the installed tree, the packages, the
manual pages and the Windows resources, each with the real tools.

One subcommand per check (see --help of each); tests/packaging/
packaging_tests.cmake wires them into ctest. Every check that runs a program
runs the bundled example session, examples/demo.txt, from where it was
installed or unpacked, and expects the simulator's two devices on standard
output. A check whose tools are missing exits with 77, which ctest reports as
skipped.
"""

import argparse
import glob
import os
import re
import shutil
import subprocess
import sys

SKIP = 77

# DLLs that every Windows machine has: the zip may import these and nothing
# else but what it carries itself.
WINDOWS_SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "ucrtbase.dll", "user32.dll", "advapi32.dll",
    "shell32.dll", "ws2_32.dll", "ole32.dll", "oleaut32.dll", "bcrypt.dll",
    "ntdll.dll", "gdi32.dll", "shlwapi.dll", "version.dll",
}

# What the example session prints: the device list of "e".
EXAMPLE_STDOUT = "SIM0\nSIM1\n"


class CheckFailed(Exception):
    pass


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.exit(SKIP)


def require(condition, message):
    if not condition:
        raise CheckFailed(message)


def run(command, **kwargs):
    """Runs a tool that must succeed; returns its standard output as text."""
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if result.returncode != 0:
        raise CheckFailed(f"{' '.join(map(str, command))} failed ({result.returncode}):\n"
                          + result.stdout.decode(errors="replace")
                          + result.stderr.decode(errors="replace"))
    return result.stdout.decode(errors="replace")


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def clean_environment():
    """The environment of a user who has set nothing for the library."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("VANDREL_") and k != "LD_LIBRARY_PATH"}
    env["WINEDEBUG"] = "-all"
    return env


def platform_text(text, windows):
    return text.replace("\n", "\r\n") if windows else text


def run_program(program, emulator, args=(), stdin=b"", cwd=None, env=None):
    command = list(emulator) + [program] + list(args)
    return subprocess.run(command, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          cwd=cwd, env=env or clean_environment(), timeout=120)


def run_example(program, examples, scratch, emulator, windows):
    """Runs demo.txt from a copy of the examples folder, as a user would."""
    work = os.path.join(scratch, "example-run")
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(examples, work)
    with open(os.path.join(work, "demo.txt"), "rb") as script:
        result = run_program(program, emulator, stdin=script.read(), cwd=work)
    expected = platform_text(EXAMPLE_STDOUT, windows)
    require(result.returncode == 0 and result.stdout.decode(errors="replace") == expected,
            f"{program} < demo.txt: status {result.returncode}, standard output "
            f"{result.stdout!r} (expected {expected.encode()!r}), standard error "
            f"{result.stderr!r}")
    require(os.path.isfile(os.path.join(work, "capture.bin")),
            "the example session wrote no capture file")
    print(f"ok   {program} < demo.txt lists the devices and captures")


def check_version(program, emulator, version, windows):
    result = run_program(program, emulator, args=["--version"])
    expected = platform_text(f"brdtest {version}\n", windows)
    require(result.returncode == 0 and result.stdout.decode(errors="replace") == expected,
            f"{program} --version: {result.stdout!r}, expected {expected!r}")
    print(f"ok   {program} --version")


def runpath_of(readelf, binary):
    """The RUNPATH of an ELF file; fails when it has an RPATH instead."""
    dynamic = run([readelf, "-d", binary])
    require("(RPATH)" not in dynamic,
            f"{binary} has an RPATH, which LD_LIBRARY_PATH cannot override")
    found = re.search(r"\(RUNPATH\)\s+Library runpath: \[(.*)\]", dynamic)
    return found.group(1) if found else None


def expect_files(root, names):
    missing = [name for name in names if not os.path.isfile(os.path.join(root, name))]
    require(not missing, f"missing under {root}: {', '.join(missing)}")
    print(f"ok   {len(names)} files in place under {root}")


# ---- Subcommands ---------------------------------------------------------------

def check_runpath(options):
    """The build tree's brdtest looks for its library beside itself, and only there."""
    if not shutil.which(options.readelf):
        skip(f"{options.readelf} not found")
    runpath = runpath_of(options.readelf, options.binary)
    require(runpath == options.expect,
            f"{options.binary}: RUNPATH {runpath!r}, expected exactly {options.expect!r}")
    print(f"ok   RUNPATH of {options.binary} is {runpath}")


def check_copied_console(options):
    """A copied brdtest fails to start without a library beside it, and starts
    with one: it never falls back to the build tree's library."""
    scratch = fresh_folder(options.scratch)
    copy = os.path.join(scratch, os.path.basename(options.console))
    shutil.copy2(options.console, copy)
    result = run_program(copy, [], stdin=b"e\n")
    require(result.returncode != 0 and b"libVANDREL.so" in result.stderr,
            f"a copied brdtest without a library started (status {result.returncode}, "
            f"standard output {result.stdout!r}, standard error {result.stderr!r})")
    print("ok   a copied brdtest without its library does not start:",
          result.stderr.decode(errors="replace").strip())
    shutil.copy2(options.library, scratch)
    result = run_program(copy, [], stdin=b"e\n")
    require(result.returncode == 0 and result.stdout == EXAMPLE_STDOUT.encode(),
            f"a copied brdtest with the library beside it: {result!r}")
    print("ok   with the library copied beside it, it starts and lists the devices")


def check_install(options):
    """cmake --install into a scratch prefix, then the example from there."""
    windows = options.platform == "windows"
    prefix = fresh_folder(os.path.join(options.scratch, "prefix"))
    run([options.cmake, "--install", options.build_dir, "--prefix", prefix])
    expect_files(prefix, options.expect)
    program = os.path.join(prefix, options.program)
    examples = os.path.join(prefix, options.examples)
    run_example(program, examples, options.scratch, options.emulator.split(), windows)
    check_version(program, options.emulator.split(), options.version, windows)
    if options.readelf:
        runpath = runpath_of(options.readelf, program)
        require(runpath == options.runpath,
                f"installed {program}: RUNPATH {runpath!r}, expected {options.runpath!r}")
        print(f"ok   installed RUNPATH is {runpath}")
    if options.other_library:
        # A user's LD_LIBRARY_PATH still puts another library first.
        env = clean_environment()
        env["LD_LIBRARY_PATH"] = options.other_library
        result = run_program(program, [], stdin=b"e\n", env=env)
        require(result.stdout == b"NULL-DEVICE\n",
                f"LD_LIBRARY_PATH={options.other_library}: {result!r}")
        print("ok   LD_LIBRARY_PATH puts another library in the installed one's place")


def check_deb(options):
    """cpack's Debian package, unpacked into a scratch root without touching
    the machine (dpkg -x): the example and man from there."""
    for tool in ("dpkg-deb", options.cpack):
        if not shutil.which(tool):
            skip(f"{tool} not found (Debian: dpkg, cmake)")
    scratch = fresh_folder(options.scratch)
    package = build_package(options, "DEB", "deb", scratch)

    depends = run(["dpkg-deb", "--field", package, "Depends"]).strip()
    require("libc6" in depends, f"Depends lacks the C library: {depends!r}")
    print(f"ok   Depends: {depends}")

    root = os.path.join(scratch, "root")
    run(["dpkg-deb", "-x", package, root])
    expect_files(root, options.expect)
    program = os.path.join(root, options.program)
    run_example(program, os.path.join(root, options.examples), scratch, [], False)
    check_version(program, [], options.version, False)

    if not shutil.which("man"):
        print("SKIPPED man: not installed (Debian: man-db)")
        return
    env = clean_environment()
    env.update(MANPAGER="cat", PAGER="cat", MANWIDTH="80", LANG="C.UTF-8")
    manpath = os.path.join(root, "usr/share/man")
    for section, page, title in options.man:
        text = run(["man", "-M", manpath, section, page], env=env)
        require(title in text, f"man -M {manpath} {section} {page} lacks {title!r}:\n{text[:400]}")
        print(f"ok   man {section} {page} from the package shows {title!r}")


def build_package(options, generator, suffix, scratch):
    """Runs cpack with one generator into scratch; returns the one package."""
    run([options.cpack, "-G", generator, "--config", options.config, "-B", scratch])
    packages = glob.glob(os.path.join(scratch, f"*.{suffix}"))
    require(len(packages) == 1, f"expected one .{suffix} in {scratch}, found {packages}")
    print(f"ok   built {os.path.basename(packages[0])}")
    return packages[0]


def check_zip(options):
    """cpack's zip for Windows: what it holds, what its programs import, and the
    example run from the unpacked folder under wine."""
    scratch = fresh_folder(options.scratch)
    archive = build_package(options, "ZIP", "zip", scratch)

    unpacked = fresh_folder(os.path.join(scratch, "unpacked"))
    run([options.cmake, "-E", "tar", "xf", archive], cwd=unpacked)
    tops = os.listdir(unpacked)
    require(len(tops) == 1, f"the zip should hold one folder, holds {tops}")
    root = os.path.join(unpacked, tops[0])
    expect_files(root, options.expect)

    carried = {name.lower() for name in os.listdir(root)}
    for name in sorted(os.listdir(root)):
        if not name.lower().endswith((".exe", ".dll")):
            continue
        headers = run([options.objdump, "-p", os.path.join(root, name)])
        imports = {d.lower() for d in re.findall(r"DLL Name: (\S+)", headers)}
        foreign = sorted(d for d in imports
                         if d not in WINDOWS_SYSTEM_DLLS and d not in carried
                         and not d.startswith("api-ms-win-"))
        require(not foreign, f"{name} needs DLLs that neither Windows nor the zip has: {foreign}")
        print(f"ok   {name} imports only {', '.join(sorted(imports))}")

    program = os.path.join(root, options.program)
    run_example(program, os.path.join(root, options.examples), scratch,
                options.emulator.split(), True)
    check_version(program, options.emulator.split(), options.version, True)


def check_resources(options):
    """Version resource and long-path manifest in each Windows program."""
    for program in options.programs:
        headers = run([options.objdump, "-p", program])
        # objdump indents the resource tree by level: the entries of the type
        # table (the first level) follow their offset by three spaces.
        resources = headers.partition("The .rsrc Resource Directory section")[2]
        types = {int(kind, 16) for kind in
                 re.findall(r"(?m)^[0-9a-f]+   Entry: ID: 0x([0-9a-f]+)", resources)}
        # Resource type 16 is the version, 24 the manifest.
        for kind, name in ((16, "version resource"), (24, "manifest")):
            require(kind in types, f"{program} has no {name} (resource type {kind}); "
                    f"it has types {sorted(types)}")
        with open(program, "rb") as file:
            image = file.read()
        require(re.search(rb"<longPathAware[^>]*>\s*true\s*</longPathAware>", image),
                f"{program}: the manifest does not allow long paths")
        version = ("ProductVersion\0" + options.version + "\0").encode("utf-16-le")
        require(version in image, f"{program}: no ProductVersion {options.version}")
        print(f"ok   {os.path.basename(program)}: version {options.version}, "
              "manifest with longPathAware")


def check_manual(options):
    """mandoc's lint finds nothing to warn of in a built manual page."""
    if not options.page or not os.path.isfile(options.page):
        skip("the manual pages were not built (scdoc not found; Debian: scdoc)")
    if not options.mandoc or not shutil.which(options.mandoc):
        skip("mandoc not found (Debian: mandoc)")
    result = subprocess.run([options.mandoc, "-T", "lint", "-W", "warning", options.page],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    report = result.stdout.decode(errors="replace")
    require(result.returncode == 0 and not report,
            f"mandoc -T lint -W warning {options.page}:\n{report}")
    print(f"ok   {os.path.basename(options.page)} lints clean")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)

    def add(name, function):
        command = commands.add_parser(name, help=function.__doc__.splitlines()[0])
        command.set_defaults(function=function)
        return command

    runpath = add("runpath", check_runpath)
    runpath.add_argument("--readelf", default="readelf")
    runpath.add_argument("--binary", required=True)
    runpath.add_argument("--expect", required=True)

    copied = add("copied-console", check_copied_console)
    copied.add_argument("--console", required=True)
    copied.add_argument("--library", required=True)
    copied.add_argument("--scratch", required=True)

    install = add("install", check_install)
    install.add_argument("--cmake", required=True)
    install.add_argument("--build-dir", required=True)
    install.add_argument("--scratch", required=True)
    install.add_argument("--platform", choices=["linux", "windows"], default="linux")
    install.add_argument("--emulator", default="")
    install.add_argument("--program", required=True, help="brdtest, relative to the prefix")
    install.add_argument("--examples", required=True, help="the examples folder, relative")
    install.add_argument("--version", required=True)
    install.add_argument("--expect", nargs="*", default=[], help="files the prefix must hold")
    install.add_argument("--readelf", default="")
    install.add_argument("--runpath", default="")
    install.add_argument("--other-library", default="",
                         help="a folder with another libVANDREL.so for LD_LIBRARY_PATH")

    deb = add("deb", check_deb)
    deb.add_argument("--cpack", required=True)
    deb.add_argument("--config", required=True)
    deb.add_argument("--scratch", required=True)
    deb.add_argument("--program", required=True)
    deb.add_argument("--examples", required=True)
    deb.add_argument("--version", required=True)
    deb.add_argument("--expect", nargs="*", default=[])
    deb.add_argument("--man", nargs=3, action="append", default=[],
                     metavar=("SECTION", "PAGE", "TITLE"))

    archive = add("zip", check_zip)
    archive.add_argument("--cmake", required=True)
    archive.add_argument("--cpack", required=True)
    archive.add_argument("--config", required=True)
    archive.add_argument("--objdump", required=True)
    archive.add_argument("--emulator", default="")
    archive.add_argument("--scratch", required=True)
    archive.add_argument("--program", required=True)
    archive.add_argument("--examples", required=True)
    archive.add_argument("--version", required=True)
    archive.add_argument("--expect", nargs="*", default=[])

    resources = add("resources", check_resources)
    resources.add_argument("--objdump", required=True)
    resources.add_argument("--version", required=True)
    resources.add_argument("programs", nargs="+")

    manual = add("manual", check_manual)
    manual.add_argument("--mandoc", default="")
    manual.add_argument("--page", default="")

    options = parser.parse_args()
    try:
        options.function(options)
    except CheckFailed as failure:
        print(f"FAIL {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
