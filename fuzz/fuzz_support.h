// The pieces the fuzz targets share: file opening answered from memory (the
// scripts that "f" may open, and capture files that keep nothing), the pause
// that returns at once, and the recording device library. None of it is
// instrumented for coverage: it is the harness, not what is explored.
#ifndef BRDTEST_FUZZ_SUPPORT_H
#define BRDTEST_FUZZ_SUPPORT_H

// Per input: forget the opens counted so far, and answer file opens from
// memory while the interpreter runs.
void BeginGuardedInput();
void EndGuardedInput();

// Per input: the recording device library starts its answers afresh.
void ResetRecordingDevice();

#endif
