// Script files: "f" runs a file of command lines in passes, each pass a nested
// interpreter with its own working storage.
#include <cstdint>
#include <cstdio>

#include "console.h"

namespace {

// Runs one pass: opens the file anew, reads it from its first line, closes it.
// Returns false when the pass could not start; the reason is on standard
// error and the remaining passes are dropped.
bool RunScriptPass(const char* fileName, int nestingLevel) {
  if (nestingLevel > MaxScriptNesting) {
    std::fprintf(stderr, "nesting too deep on '%s'\n", fileName);
    return false;
  }
  std::FILE* script = std::fopen(fileName, "r");
  if (script == nullptr) {
    std::fprintf(stderr, "open error on '%s'\n", fileName);
    return false;
  }
  RunCommandStream(script, nestingLevel);
  std::fclose(script);
  return true;
}

}  // namespace

// f name [passes]: one pass without token 2; 0 passes writes only the end
// message, negative ones nothing. The name is used exactly as typed.
CommandOutcome RunScript(const TokenList& tokens, Workspace& work) {
  if (!HasToken(tokens, 1)) {
    return CommandOutcome::Continue;
  }
  const char* fileName = tokens.Slots[1];
  std::int32_t passes = HasToken(tokens, 2) ? DecimalValue(tokens.Slots[2]) : 1;
  for (; passes > 0; --passes) {
    if (!RunScriptPass(fileName, work.NestingLevel + 1)) {
      return CommandOutcome::Continue;
    }
  }
  if (passes == 0) {
    std::fprintf(stderr, "\nend of '%s'\n", fileName);
  }
  return CommandOutcome::Continue;
}
