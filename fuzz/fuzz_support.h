// The pieces the fuzz targets share: the scratch folder with its scripts,
// the guarded file opening, and the recording device library.
#ifndef BRDTEST_FUZZ_SUPPORT_H
#define BRDTEST_FUZZ_SUPPORT_H

// Makes a scratch folder holding a few small scripts that "f" may open, and
// makes it the working directory. Once per process.
void EnterScratchFolder();

// Per input: forget the opens counted so far, and guard file opening while
// the interpreter runs.
void BeginGuardedInput();
void EndGuardedInput();

void ResetRecordingDevice();

#endif
