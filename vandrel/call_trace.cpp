#include "call_trace.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "settings.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>
#endif

namespace vandrel {
namespace {

// Runs of at least this many equal bytes are written as "<byte> x<count>".
constexpr std::size_t ShortestShortenedRun = 4;

constexpr std::array<const char*, FunctionCount> FunctionNames = {
    "BrdSetTestData", "BrdInitDevice",  "BrdCloseDevice", "BrdEnumDevice", "BrdSetNoOfModules",
    "BrdHighVoltage", "BrdTestOutput", "BrdCommand",     "BrdWriteData",  "BrdReadData"};

#if defined(_WIN32)
int OpenForAppend(const char* path) {
  // Binary, so that the trace has the same bytes on every platform.
  return _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int descriptor, const char* bytes, std::size_t size) {
  return _write(descriptor, bytes, static_cast<unsigned>(size));
}
constexpr int StandardErrorDescriptor = 2;
#else
int OpenForAppend(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}
long WriteSome(int descriptor, const char* bytes, std::size_t size) {
  return static_cast<long>(write(descriptor, bytes, size));
}
constexpr int StandardErrorDescriptor = STDERR_FILENO;
#endif

struct FunctionStatistics {
  std::uint64_t Calls = 0;
  std::uint64_t Errors = 0;
  std::chrono::nanoseconds Total{0};
  std::chrono::nanoseconds Longest{0};
};

// Appends seconds with six decimals ("12.000345") to out; by hand, since it
// runs twice a call when times are traced.
void AppendSeconds(std::string& out, std::chrono::nanoseconds duration) {
  auto micro = static_cast<unsigned long long>(
      std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(duration).count()));
  char digits[32];
  int length = 0;
  for (int place = 0; place < 6; ++place) {
    digits[length++] = static_cast<char>('0' + micro % 10);
    micro /= 10;
  }
  digits[length++] = '.';
  do {
    digits[length++] = static_cast<char>('0' + micro % 10);
    micro /= 10;
  } while (micro > 0);
  while (length > 0) {
    out += digits[--length];
  }
}

// Where the lines go. Every line is handed to the system before the call
// returns to the console (written through, no buffer of our own), so a
// console that is killed loses none; one lock keeps lines of several threads
// whole.
class TraceSink {
 public:
  TraceSink() {
    const char* destination = Setting("TRACE");
    if (destination == nullptr || *destination == '\0') {
      return;
    }
    path_ = destination;
    if (path_ == "-") {
      descriptor_ = StandardErrorDescriptor;
    } else {
      descriptor_ = OpenForAppend(destination);
      if (descriptor_ < 0) {
        std::fprintf(stderr, "VANDREL: cannot open trace file '%s': %s\n", destination,
                     std::strerror(errno));
        return;
      }
    }
    timed_ = SettingIsOne("TRACE_TIME");
    summary_ = SettingIsOne("SUMMARY");
    if (const char* limit = Setting("TRACE_BYTES"); limit != nullptr && *limit != '\0') {
      char* end = nullptr;
      const long long value = std::strtoll(limit, &end, 10);
      if (*end == '\0' && value >= 0) {
        shownBytes_ = static_cast<std::size_t>(value);
      } else {
        std::fprintf(stderr, "VANDREL: %s must be a number of bytes, not '%s'; buffers are shown whole\n",
                     SettingName("TRACE_BYTES").c_str(), limit);
      }
    }
  }

  // As the library unloads: the summary. The sink itself is never
  // destroyed, so that the watch over running calls, which may still be
  // running then, never writes through a closed file; the system closes it.
  void AtExit() {
    if (!summary_ || !Enabled()) {
      return;
    }
    // On Windows, other threads have been ended by now, perhaps one that
    // held the lock; the summary is written all the same.
    const bool locked = mutex_.try_lock_for(std::chrono::milliseconds(200));
    WriteSummary();
    if (locked) {
      mutex_.unlock();
    }
  }

  TraceSink(const TraceSink&) = delete;
  TraceSink& operator=(const TraceSink&) = delete;

  bool Enabled() const { return descriptor_ >= 0; }
  bool Timed() const { return timed_; }
  bool Measured() const { return timed_ || summary_; }
  std::size_t ShownBytes() const { return shownBytes_; }

  std::chrono::steady_clock::time_point Origin(std::chrono::steady_clock::time_point now) {
    std::call_once(originOnce_, [&] { origin_ = now; });
    return origin_;
  }

  std::size_t AddressNumber(const void* address) {
    std::lock_guard lock(mutex_);
    return addressNumbers_.try_emplace(address, addressNumbers_.size() + 1).first->second;
  }

  void Write(std::string_view line) {
    std::lock_guard lock(mutex_);
    WriteLocked(line);
  }

  // Counts the call for the summary and writes its line.
  void Finish(Function function, std::int32_t result, std::chrono::nanoseconds duration,
              std::string_view prefix, std::string_view line) {
    std::lock_guard lock(mutex_);
    FunctionStatistics& statistics = statistics_[static_cast<std::size_t>(function)];
    ++statistics.Calls;
    statistics.Errors += result < 0 ? 1 : 0;
    statistics.Total += duration;
    statistics.Longest = std::max(statistics.Longest, duration);
    WritePartsLocked(prefix, line);
  }

 private:
  void WriteLocked(std::string_view line) {
    while (!line.empty()) {
      const long written = WriteSome(descriptor_, line.data(), line.size());
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        ReportWriteFailure(written < 0 ? std::strerror(errno) : "nothing was written");
        return;
      }
      line.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  void WritePartsLocked(std::string_view prefix, std::string_view line) {
    if (prefix.empty()) {
      WriteLocked(line);
      return;
    }
#if defined(_WIN32)
    std::string whole;
    whole.reserve(prefix.size() + line.size());
    whole.append(prefix).append(line);
    WriteLocked(whole);
#else
    // One system call for the whole line, with no copy.
    iovec parts[2] = {{const_cast<char*>(prefix.data()), prefix.size()},
                      {const_cast<char*>(line.data()), line.size()}};
    ssize_t written;
    do {
      written = writev(descriptor_, parts, 2);
    } while (written < 0 && errno == EINTR);
    const auto whole = static_cast<ssize_t>(prefix.size() + line.size());
    if (written == whole) return;
    if (written <= 0) {
      ReportWriteFailure(written < 0 ? std::strerror(errno) : "nothing was written");
      return;
    }
    // A short write: the rest as one piece.
    std::string rest;
    rest.append(prefix).append(line);
    WriteLocked(std::string_view(rest).substr(static_cast<std::size_t>(written)));
#endif
  }

  // Once: a full disk would otherwise fill standard error with one message
  // a call.
  void ReportWriteFailure(const char* reason) {
    if (!writeFailureReported_) {
      writeFailureReported_ = true;
      std::fprintf(stderr, "VANDREL: cannot write trace file '%s': %s\n", path_.c_str(), reason);
    }
  }

  void WriteSummary() {
    for (int index = 0; index < FunctionCount; ++index) {
      const FunctionStatistics& statistics = statistics_[static_cast<std::size_t>(index)];
      if (statistics.Calls == 0) {
        continue;
      }
      const auto mean = statistics.Total / static_cast<std::int64_t>(statistics.Calls);
      std::string line = "# summary ";
      line += FunctionNames[static_cast<std::size_t>(index)];
      line += ": calls=" + std::to_string(statistics.Calls);
      line += " errors=" + std::to_string(statistics.Errors);
      line += " total=";
      AppendSeconds(line, statistics.Total);
      line += " mean=";
      AppendSeconds(line, mean);
      line += " longest=";
      AppendSeconds(line, statistics.Longest);
      line += '\n';
      WriteLocked(line);
    }
  }

  std::string path_;
  int descriptor_ = -1;
  bool timed_ = false;
  bool summary_ = false;
  bool writeFailureReported_ = false;
  std::size_t shownBytes_ = static_cast<std::size_t>(-1);
  std::timed_mutex mutex_;
  std::once_flag originOnce_;
  std::chrono::steady_clock::time_point origin_;
  std::unordered_map<const void*, std::size_t> addressNumbers_;
  std::array<FunctionStatistics, FunctionCount> statistics_{};
};

TraceSink& Sink() {
  static TraceSink& sink = *new TraceSink;
  static const struct SummaryAtExit {
    ~SummaryAtExit() { sink.AtExit(); }
  } summaryAtExit;
  return sink;
}

// Calls that are still running, when times are traced, so that a call that
// never returns shows in the trace: a watch that wakes every WatchInterval
// writes the running line ("<since> ... <seq> <Function>(...)") of each call
// that has run for SlowCall. Quick calls cost one line, not two.
constexpr auto WatchInterval = std::chrono::milliseconds(50);
constexpr auto SlowCall = std::chrono::milliseconds(100);

class RunningCalls {
 public:
  // Records a call; returns its slot, or -1 when every slot is taken (the
  // caller then writes the running line itself).
  int Enter(std::chrono::steady_clock::time_point start, std::string_view runningLine) {
    std::call_once(watchStarted_, [this] { StartWatch(); });
    for (std::size_t index = 0; index < slots_.size(); ++index) {
      Slot& slot = slots_[index];
      std::unique_lock lock(slot.Lock, std::try_to_lock);
      if (lock.owns_lock() && !slot.Busy) {
        slot.Busy = true;
        slot.Shown = false;
        slot.Start = start;
        slot.Line.assign(runningLine);
        return static_cast<int>(index);
      }
    }
    return -1;
  }

  // The call has returned: from now on its running line is not written.
  void Leave(int index) {
    Slot& slot = slots_[static_cast<std::size_t>(index)];
    std::lock_guard lock(slot.Lock);
    slot.Busy = false;
  }

  // As the library unloads. On Windows the system has ended the watch's
  // thread by then; elsewhere it is asked to end and waited for, so that
  // nothing of it outlives the library.
  void Stop() {
    {
      std::lock_guard lock(watchLock_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (watch_.joinable()) {
      watch_.join();
    }
  }

 private:
  struct Slot {
    std::mutex Lock;
    bool Busy = false;
    bool Shown = false;
    std::chrono::steady_clock::time_point Start;
    std::string Line;
  };

  void StartWatch() {
    watch_ = std::thread([this] { Watch(); });
#if defined(_WIN32)
    watch_.detach();
#endif
  }

  void Watch() {
    std::unique_lock watchLock(watchLock_);
    while (!wake_.wait_for(watchLock, WatchInterval, [this] { return stopping_; })) {
      watchLock.unlock();
      const auto now = std::chrono::steady_clock::now();
      for (Slot& slot : slots_) {
        std::lock_guard lock(slot.Lock);
        if (slot.Busy && !slot.Shown && now - slot.Start >= SlowCall) {
          slot.Shown = true;
          Sink().Write(slot.Line);
        }
      }
      watchLock.lock();
    }
  }

  std::array<Slot, 16> slots_;
  std::once_flag watchStarted_;
  std::mutex watchLock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread watch_;
};

RunningCalls& Running() {
  // Never destroyed, only stopped: on Windows the watch's thread is ended by
  // the system, not joined.
  static RunningCalls& running = *new RunningCalls;
  static const struct StopAtExit {
    ~StopAtExit() { running.Stop(); }
  } stopAtExit;
  return running;
}

std::atomic<std::uint64_t> LastSequenceNumber{0};

void AppendHexByte(std::string& out, unsigned char byte) {
  static constexpr char Digits[] = "0123456789abcdef";
  out += Digits[byte >> 4];
  out += Digits[byte & 0x0F];
}

void AppendWord(std::string& out, const std::int32_t* word, std::int32_t value) {
  if (word == nullptr) {
    out += "null";
    return;
  }
  out += '@';
  out += std::to_string(Sink().AddressNumber(word));
  out += '(';
  out += std::to_string(value);
  out += ')';
}

}  // namespace

const char* FunctionName(Function function) {
  return FunctionNames[static_cast<std::size_t>(function)];
}

bool FunctionByName(std::string_view name, Function& function) {
  for (int index = 0; index < FunctionCount; ++index) {
    if (name == FunctionNames[static_cast<std::size_t>(index)]) {
      function = static_cast<Function>(index);
      return true;
    }
  }
  return false;
}

bool TracingEnabled() { return Sink().Enabled(); }

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    switch (byte) {
      case '\\': quoted += "\\\\"; break;
      case '"': quoted += "\\\""; break;
      case '\t': quoted += "\\t"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\0': quoted += "\\0"; break;
      default:
        if (byte >= 0x20 && byte < 0x7F) {
          quoted += character;
        } else {
          quoted += "\\x";
          AppendHexByte(quoted, byte);
        }
    }
  }
  quoted += '"';
  return quoted;
}

std::string HexRuns(const unsigned char* bytes, std::size_t size, std::size_t shownLimit) {
  const std::size_t shownSize = std::min(size, shownLimit);
  std::string out = "[";
  for (std::size_t index = 0; index < shownSize;) {
    std::size_t run = 1;
    while (index + run < shownSize && bytes[index + run] == bytes[index]) {
      ++run;
    }
    const std::size_t shown = run >= ShortestShortenedRun ? 1 : run;
    for (std::size_t repeat = 0; repeat < shown; ++repeat) {
      if (out.size() > 1) {
        out += ' ';
      }
      AppendHexByte(out, bytes[index]);
    }
    if (run >= ShortestShortenedRun) {
      out += " x";
      out += std::to_string(run);
    }
    index += run;
  }
  if (shownSize < size) {
    out += out.size() > 1 ? " ... " : "... ";
    out += std::to_string(size - shownSize);
    out += " more";
  }
  out += ']';
  return out;
}

void CallArguments::Begin(std::string_view name) {
  if (!first_) {
    text_ += ", ";
  }
  first_ = false;
  text_ += name;
}

CallArguments& CallArguments::Number(std::string_view name, std::int64_t value) {
  Begin(name);
  text_ += '=';
  text_ += std::to_string(value);
  return *this;
}

CallArguments& CallArguments::Text(std::string_view name, const char* text) {
  Begin(name);
  text_ += '=';
  text_ += text == nullptr ? std::string("null") : QuoteText(text);
  return *this;
}

CallArguments& CallArguments::Word(std::string_view name, const std::int32_t* word) {
  Begin(name);
  text_ += '=';
  AppendWord(text_, word, word == nullptr ? 0 : *word);
  return *this;
}

CallArguments& CallArguments::Bytes(std::string_view name, const unsigned char* bytes,
                                    std::size_t size) {
  Begin(name);
  text_ += '=';
  text_ += bytes == nullptr ? std::string("null") : HexRuns(bytes, size, shownBytes_);
  return *this;
}

CallArguments& CallArguments::OutputBuffer(std::string_view name, const void* buffer) {
  Begin(name);
  if (buffer == nullptr) {
    text_ += "=null";
  }
  return *this;
}

TraceLine::TraceLine(Function function)
    : function_(function),
      sequence_(++LastSequenceNumber),
      arguments_(line_, Sink().ShownBytes()) {
  if (Sink().Measured()) {
    start_ = std::chrono::steady_clock::now();
    Sink().Origin(start_);
  }
  line_.reserve(128);
  line_ += std::to_string(sequence_);
  line_ += ' ';
  line_ += FunctionName(function);
  line_ += '(';
}

void TraceLine::BeginWriteBack(std::string_view name) {
  line_ += firstWriteBack_ ? " -> " : ", ";
  firstWriteBack_ = false;
  line_ += name;
  line_ += '=';
}

void TraceLine::Begin() {
  line_ += ')';
  if (Sink().Timed()) {
    std::string running;
    running.reserve(line_.size() + 24);
    AppendSeconds(running, start_ - Sink().Origin(start_));
    running += " ... ";
    running.append(line_);
    running += '\n';
    slot_ = Running().Enter(start_, running);
    if (slot_ < 0) {
      Sink().Write(running);
    }
  }
}

TraceLine& TraceLine::Result(std::int32_t result) {
  result_ = result;
  line_ += " = ";
  line_ += std::to_string(result);
  return *this;
}

TraceLine& TraceLine::WroteWord(std::string_view name, const std::int32_t* word) {
  BeginWriteBack(name);
  AppendWord(line_, word, *word);
  return *this;
}

TraceLine& TraceLine::WroteBytes(std::string_view name, const unsigned char* bytes,
                                 std::size_t size) {
  BeginWriteBack(name);
  line_ += HexRuns(bytes, size, Sink().ShownBytes());
  return *this;
}

TraceLine& TraceLine::WroteText(std::string_view name, const char* bytes, std::size_t size) {
  BeginWriteBack(name);
  line_ += QuoteText(std::string_view(bytes, size));
  return *this;
}

void TraceLine::Emit() {
  line_ += '\n';
  TraceSink& sink = Sink();
  if (!sink.Measured()) {
    sink.Write(line_);
    return;
  }
  const auto end = std::chrono::steady_clock::now();
  const auto duration = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start_);
  std::string prefix;
  if (sink.Timed()) {
    if (slot_ >= 0) {
      Running().Leave(slot_);
    }
    AppendSeconds(prefix, start_ - sink.Origin(start_));
    prefix += ' ';
    AppendSeconds(prefix, duration);
    prefix += ' ';
  }
  sink.Finish(function_, result_, duration, prefix, line_);
}

void TraceNote(std::string_view text) {
  std::string line = "# ";
  line += text;
  line += '\n';
  Sink().Write(line);
}

}  // namespace vandrel
