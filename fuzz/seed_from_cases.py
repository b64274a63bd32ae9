#!/usr/bin/env python3
"""Writes the standard input of every case in the case tables (up to 64 KB)
into fuzz/corpus/interpreter, one file per case, named by a hash of its bytes.
Run from the repository's root after adding cases."""
import hashlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))
import run_cases  # noqa: E402

corpus = os.path.join(os.path.dirname(__file__), "corpus", "interpreter")
tables = os.path.join(os.path.dirname(__file__), "..", "tests", "cases")
written = 0
for table in sorted(os.listdir(tables)):
    for case in run_cases.parse_table(os.path.join(tables, table), "linux"):
        data = run_cases.as_bytes(case.get("stdin", b""))
        if not data or len(data) > 65536:
            continue
        name = hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(corpus, name), "wb") as file:
            file.write(data)
        written += 1
print(f"{written} inputs in {corpus}")
