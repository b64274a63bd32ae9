// brdcheck: reports what a script will silently not do when the console runs
// it. Reads each script as "brdtest < script" would, follows "f" into the
// scripts it names, and prints one finding a line, the way compilers do.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "console.h"
#include "script_checker.h"

#ifndef BRDCHECK_VERSION
#define BRDCHECK_VERSION "unknown"
#endif

namespace {

constexpr int ExitClean = 0;
constexpr int ExitFindings = 1;
constexpr int ExitUsage = 2;

const char StandardInputName[] = "<stdin>";

#ifdef _WIN32
constexpr bool OnWindows = true;
#else
constexpr bool OnWindows = false;
#endif

void PrintHelp() {
  std::printf(
      "Usage: brdcheck [options] [file...]\n"
      "\n"
      "Reports what the brdtest console will silently not do with a script: each\n"
      "file is read as 'brdtest < file' reads it (standard input when no file or '-'\n"
      "is given), and the scripts that its 'f' lines run are followed, from the\n"
      "working folder as the console resolves them. Nothing is run.\n"
      "\n"
      "Findings: file:line:column: warning: what the console will do instead [check]\n"
      "Exit status: 0 without findings, 1 with findings, 2 for a usage error or a\n"
      "file that cannot be read.\n"
      "\n"
      "Options:\n"
      "  --disable=CHECK[,CHECK...]  switch checks off (repeatable; 'all' for every one)\n"
      "  --platform=both|linux|windows\n"
      "                              whose traps to report (default both; linux leaves\n"
      "                              out the traps of Windows only)\n"
      "  --help                      this text\n"
      "  --version                   the version\n"
      "\n"
      "A comment line '# brdcheck: disable=CHECK[,CHECK...]' switches checks off for\n"
      "the next command line.\n"
      "\n"
      "Checks:\n");
  for (int index = 0; index < static_cast<int>(Check::Count); ++index) {
    const CheckInfo& info = InfoOf(static_cast<Check>(index));
    std::printf("  %-20s %s%s\n", info.Name, info.Summary, info.WindowsOnly ? " (Windows)" : "");
  }
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "brdcheck: %s\nTry 'brdcheck --help'.\n", message.c_str());
  return ExitUsage;
}

// The folder part of a name as typed, with its separator; empty for none.
std::string FolderOf(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

bool IsAbsolute(const std::string& name) {
  return (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
         (name.size() > 1 && name[1] == ':');
}

bool CanOpen(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) {
    return false;
  }
  std::fclose(file);
  return true;
}

// A pass count in words; beyond what a double holds exactly, roughly.
std::string PassCountText(double passes) {
  char text[64];
  if (passes < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", passes);
  } else {
    std::snprintf(text, sizeof text, "about %.2g", passes);
  }
  return text;
}

class Checker {
 public:
  explicit Checker(CheckSet disabled) : Disabled(disabled) {}

  // Checks one input given on the command line (level 0, like standard
  // input). Returns false when it cannot be read.
  bool CheckInput(const std::string& name);

  // Prints every finding, file by file in the order they were first met.
  // Returns the number printed.
  long Print() const;

 private:
  FileReport& Load(const std::string& name);
  void Follow(FileReport& report, int level);
  void AddCallFinding(FileReport& report, const ScriptCall& call, Check check, std::string message);
  std::string CycleMessage(std::size_t cycleStart) const;

  CheckSet Disabled;
  std::map<std::string, std::unique_ptr<FileReport>> Reports;
  std::vector<FileReport*> Order;
  // The scripts being followed, outermost first, with the call that leads on
  // from each and its level.
  struct Level {
    FileReport* Report;
    const ScriptCall* Call;
    int Depth;
  };
  std::vector<Level> Stack;
  std::map<std::pair<FileReport*, int>, bool> Visited;
  std::map<std::pair<const ScriptCall*, Check>, bool> Reported;
};

FileReport& Checker::Load(const std::string& name) {
  auto found = Reports.find(name);
  if (found != Reports.end()) {
    return *found->second;
  }
  auto report = std::make_unique<FileReport>();
  report->Name = name;
  if (name == StandardInputName) {
    report->Opened = true;
    CheckStream(stdin, std::string(), Disabled, *report);
  } else if (std::FILE* stream = std::fopen(name.c_str(), "r"); stream != nullptr) {
    report->Opened = true;
    CheckStream(stream, name, Disabled, *report);
    std::fclose(stream);
  }
  FileReport& loaded = *report;
  Reports.emplace(name, std::move(report));
  if (loaded.Opened) {
    Order.push_back(&loaded);
  }
  return loaded;
}

bool Checker::CheckInput(const std::string& name) {
  FileReport& report = Load(name);
  if (!report.Opened || report.ReadFailed) {
    return false;
  }
  Follow(report, 0);
  return true;
}

void Checker::AddCallFinding(FileReport& report, const ScriptCall& call, Check check,
                             std::string message) {
  if (((Disabled | call.Disabled) & Bit(check)) != 0 || Reported[{&call, check}]) {
    return;
  }
  Reported[{&call, check}] = true;
  report.Findings.push_back(Finding{call.Line, call.Column, check, std::move(message)});
}

// Depth-first through the "f" lines, as the passes would nest: each script at
// each level once, which is enough to see every nesting and every cycle.
void Checker::Follow(FileReport& report, int level) {
  Visited[{&report, level}] = true;
  Stack.push_back(Level{&report, nullptr, level});
  for (const ScriptCall& call : report.Calls) {
    Stack.back().Call = &call;
    // A device is not followed: on Windows it would be read in the file's
    // place (the device-name check says so).
    const std::size_t slash = call.Name.find_last_of("/\\");
    if (IsWindowsDeviceName(slash == std::string::npos ? call.Name : call.Name.substr(slash + 1)) &&
        (OnWindows || (Disabled & Bit(Check::DeviceName)) == 0)) {
      continue;
    }
    FileReport& target = Load(call.Name);
    const std::string quoted = "'" + call.Name + "'";
    if (!target.Opened) {
      const std::string beside = FolderOf(report.Name) + call.Name;
      if (!IsAbsolute(call.Name) && !FolderOf(report.Name).empty() && CanOpen(beside)) {
        AddCallFinding(report, call, Check::NameRelative,
                       quoted + " is not in the working folder, though it lies beside this script: "
                       "names are relative to the working folder, so the console writes \"open error on " +
                           quoted + "\"; write '" + beside + "'");
      } else {
        AddCallFinding(report, call, Check::OpenError,
                       quoted + " cannot be opened: the console writes \"open error on " + quoted +
                           "\" and runs none of its passes");
      }
      continue;
    }
    const auto onStack = std::find_if(Stack.begin(), Stack.end(),
                                      [&target](const Level& entry) { return entry.Report == &target; });
    if (onStack != Stack.end()) {
      AddCallFinding(report, call, Check::RunsItself,
                     CycleMessage(static_cast<std::size_t>(onStack - Stack.begin())));
      continue;
    }
    if (level + 1 > MaxScriptNesting) {
      AddCallFinding(report, call, Check::NestingTooDeep,
                     quoted + " would run " + std::to_string(level + 1) +
                         " levels below standard input, and the console allows " +
                         std::to_string(MaxScriptNesting) + ": it writes \"nesting too deep on " +
                         quoted + "\" and runs none of its passes");
      continue;
    }
    if (!Visited[{&target, level + 1}]) {
      Follow(target, level + 1);
    }
  }
  Stack.pop_back();
}

// A script that runs itself nests until the console's bound; the pass counts
// along the cycle multiply at every level.
std::string Checker::CycleMessage(std::size_t cycleStart) const {
  std::vector<std::int32_t> passes;
  std::string through;
  for (std::size_t index = cycleStart; index < Stack.size(); ++index) {
    passes.push_back(Stack[index].Call->Passes);
    if (index > cycleStart) {
      through += (through.empty() ? " through '" : "', '") + Stack[index].Report->Name;
    }
  }
  if (!through.empty()) {
    through += "'";
  }
  const int startLevel = Stack[cycleStart].Depth;
  double total = 0;
  double atLevel = 1;
  bool multiplies = false;
  for (int level = startLevel + 1, step = 0; level <= MaxScriptNesting; ++level, ++step) {
    const std::int32_t count = passes[static_cast<std::size_t>(step) % passes.size()];
    multiplies = multiplies || count > 1;
    atLevel *= count;
    total += atLevel;
  }
  // The script that would start the first level beyond the bound.
  const std::size_t refused =
      cycleStart + static_cast<std::size_t>(MaxScriptNesting + 1 - startLevel) % passes.size();
  const std::string name = "'" + Stack[cycleStart].Report->Name + "'";
  std::string message = name + " runs itself" + through + ": the console nests it down to level " +
                        std::to_string(MaxScriptNesting) + " and then writes \"nesting too deep on '" +
                        Stack[refused].Report->Name + "'\"; that is " + PassCountText(total) + " passes";
  if (multiplies) {
    message += ", the pass counts multiplying at every level";
  }
  return message;
}

long Checker::Print() const {
  long printed = 0;
  for (FileReport* report : Order) {
    std::vector<Finding>& findings = report->Findings;
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
      return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
    });
    for (const Finding& finding : findings) {
      std::printf("%s:%d:%d: warning: %s [%s]\n", report->Name.c_str(), finding.Line, finding.Column,
                  finding.Message.c_str(), InfoOf(finding.Id).Name);
      ++printed;
    }
  }
  return printed;
}

// Adds the checks named in a comma-separated list; false on an unknown name.
bool Disable(const std::string& list, CheckSet& disabled, std::string& unknown) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, end - start);
    if (name == "all") {
      disabled = ~CheckSet{0};
    } else if (const Check check = CheckNamed(name); check != Check::Count) {
      disabled |= Bit(check);
    } else {
      unknown = name;
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CheckSet disabled = 0;
  PlatformScope platform = PlatformScope::Both;
  std::vector<std::string> inputs;
  bool optionsEnded = false;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
      inputs.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      PrintHelp();
      return ExitClean;
    } else if (argument == "--version") {
      std::printf("brdcheck %s\n", BRDCHECK_VERSION);
      return ExitClean;
    } else if (argument.rfind("--disable=", 0) == 0) {
      std::string unknown;
      if (!Disable(argument.substr(10), disabled, unknown)) {
        return UsageError("no check named '" + unknown + "'");
      }
    } else if (argument.rfind("--platform=", 0) == 0) {
      const std::string value = argument.substr(11);
      if (value == "both") {
        platform = PlatformScope::Both;
      } else if (value == "linux") {
        platform = PlatformScope::Linux;
      } else if (value == "windows") {
        platform = PlatformScope::Windows;
      } else {
        return UsageError("--platform takes both, linux or windows, not '" + value + "'");
      }
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
  }
  if (platform == PlatformScope::Linux) {
    for (int index = 0; index < static_cast<int>(Check::Count); ++index) {
      if (InfoOf(static_cast<Check>(index)).WindowsOnly) {
        disabled |= Bit(static_cast<Check>(index));
      }
    }
  }
  if (inputs.empty()) {
    inputs.push_back("-");
  }

  Checker checker(disabled);
  bool unreadable = false;
  for (const std::string& input : inputs) {
    const std::string name = input == "-" ? StandardInputName : input;
    if (!checker.CheckInput(name)) {
      std::fprintf(stderr, "brdcheck: cannot read '%s'\n", name.c_str());
      unreadable = true;
    }
  }
  const long findings = checker.Print();
  if (unreadable) {
    return ExitUsage;
  }
  return findings > 0 ? ExitFindings : ExitClean;
}
