// The replay backend: a recorded trace (VANDREL_REPLAY) answers every call,
// so that a script can be run again without the device and compared with
// what the device did.
//
// Each call is rendered as the trace would show its arguments and compared
// with the next recorded call. A call that matches gets the recorded result
// and write-backs. One that does not is answered with -1 and the trace
// shows both versions; the replay then finds its place again:
//   - the call matches a recorded call a little further on: the calls in
//     between were left out of the script (removed), and the replay goes on
//     from there;
//   - otherwise, when the next recorded call is of the same function, the
//     call was changed and takes that call's place; of another function, it
//     was added and the recording waits.
// A removal and an addition can look alike for one call (a call added that
// also comes later in the recording); the next call decides, and the
// counts are mended then.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "backend.h"
#include "call_trace.h"
#include "settings.h"
#include "trace_reader.h"

namespace vandrel {
namespace {

// How far ahead a call is looked for after a difference.
constexpr std::size_t ResyncWindow = 256;

// A call's arguments as the trace shows them, in a text of their own, to be
// compared with the recorded call's.
struct ArgumentTextHolder {
  std::string Written;
};
class CallText : private ArgumentTextHolder, public CallArguments {
 public:
  explicit CallText(std::size_t shownBytes) : CallArguments(ArgumentTextHolder::Written, shownBytes) {}
  CallText(const CallText&) = delete;
  CallText& operator=(const CallText&) = delete;
};

struct Verdict {
  std::size_t Matched = 0;
  std::size_t Differed = 0;
  std::size_t NotReached = 0;
  std::size_t FirstDifferenceLine = 0;  // 0: none
};

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    if (character == '"' || character == '\\') {
      out += '\\';
      out += character;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += character;
    }
  }
  return out + "\"";
}

// The verdict for a CI job, in the file VANDREL_REPLAY_VERDICT names, as
// JSON; error is set when the recording could not be used.
void WriteVerdictFile(const std::string& recording, const Verdict& verdict, const std::string& error) {
  const char* verdictPath = Setting("REPLAY_VERDICT");
  if (verdictPath == nullptr || *verdictPath == '\0') return;
  std::string json = "{\"recording\": " + JsonText(recording) +
                     ", \"matched\": " + std::to_string(verdict.Matched) +
                     ", \"differed\": " + std::to_string(verdict.Differed) +
                     ", \"not_reached\": " + std::to_string(verdict.NotReached) +
                     ", \"first_difference_line\": " +
                     (verdict.Differed > 0 ? std::to_string(verdict.FirstDifferenceLine) : "null");
  if (!error.empty()) json += ", \"error\": " + JsonText(error);
  json += "}\n";
  std::FILE* file = std::fopen(verdictPath, "wb");
  if (file == nullptr || std::fwrite(json.data(), 1, json.size(), file) != json.size() ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "VANDREL: cannot write the replay verdict to '%s'\n", verdictPath);
  }
}

class Replay final : public Backend {
 public:
  Replay(std::string path, Recording recording)
      : path_(std::move(path)),
        recording_(std::move(recording)),
        shownBytes_(recording_.ShownBytes.value_or(static_cast<std::size_t>(-1))),
        withDelays_(SettingIsOne("REPLAY_DELAYS")) {}

  ~Replay() override { Report(); }

  std::int32_t SetTestData(const char* text, std::int32_t* flags) override {
    std::lock_guard lock(mutex_);
    const RecordedCall* recorded =
        Answer(Function::SetTestData, Arguments().Text("text", text).Word("flags", flags));
    return recorded != nullptr ? recorded->Result : ResultNoDevice;
  }

  std::int32_t InitDevice(const char* name, std::int32_t* info, WriteBack& back) override {
    std::lock_guard lock(mutex_);
    const RecordedCall* recorded =
        Answer(Function::InitDevice, Arguments().Text("name", name).Word("info", info));
    if (recorded == nullptr) return ResultNoDevice;
    if (recorded->Info && info != nullptr) {
      *info = *recorded->Info;
      back.WroteInfo = true;
    }
    return recorded->Result;
  }

  std::int32_t CloseDevice(std::int32_t handle) override {
    return Simple(Function::CloseDevice, (Arguments().Number("handle", handle)));
  }

  std::int32_t EnumDevice(char* list, std::int32_t size, WriteBack& back) override {
    std::lock_guard lock(mutex_);
    const RecordedCall* recorded =
        Answer(Function::EnumDevice, Arguments().OutputBuffer("list", list).Number("size", size));
    if (recorded == nullptr) return FailWithEmptyList(list, size, back);
    if (recorded->List && list != nullptr && size > 0) {
      back.Written = std::min(recorded->List->size(), static_cast<std::size_t>(size));
      std::memcpy(list, recorded->List->data(), back.Written);
    }
    return recorded->Result;
  }

  std::int32_t SetNoOfModules(std::int32_t handle, std::int32_t modules) override {
    return Simple(Function::SetNoOfModules,
                  (Arguments().Number("handle", handle).Number("modules", modules)));
  }

  std::int32_t HighVoltage(std::int32_t handle, std::int32_t value) override {
    return Simple(Function::HighVoltage,
                  (Arguments().Number("handle", handle).Number("value", value)));
  }

  std::int32_t TestOutput(std::int32_t handle, signed char code) override {
    return Simple(Function::TestOutput,
                  (Arguments().Number("handle", handle).Number("code", code)));
  }

  std::int32_t Command(std::int32_t handle, unsigned char* buffer) override {
    return Simple(Function::Command, (Arguments().Number("handle", handle).Bytes(
                                         "buffer", buffer, CommandBytes)));
  }

  std::int32_t WriteData(std::int32_t handle, std::int32_t count, unsigned char* buffer) override {
    return Simple(Function::WriteData,
                  (Arguments().Number("handle", handle).Number("count", count).Bytes(
                      "buffer", buffer, WriteBufferBytes)));
  }

  std::int32_t ReadData(std::int32_t handle, std::int32_t count, unsigned char* buffer,
                        WriteBack& back) override {
    std::lock_guard lock(mutex_);
    const RecordedCall* recorded = Answer(
        Function::ReadData,
        Arguments().Number("handle", handle).Number("count", count).OutputBuffer("buffer", buffer));
    if (recorded == nullptr) return ResultNoDevice;
    if (recorded->Bytes && buffer != nullptr && count > 0) {
      // Bytes a cut trace left out come back as zeros.
      const std::size_t recordedSize = recorded->Bytes->size() + recorded->BytesLeftOut;
      back.Written = std::min({recordedSize, static_cast<std::size_t>(count),
                               static_cast<std::size_t>(ReadCountLimit)});
      const std::size_t known = std::min(back.Written, recorded->Bytes->size());
      std::memcpy(buffer, recorded->Bytes->data(), known);
      std::memset(buffer + known, 0, back.Written - known);
    }
    return recorded->Result;
  }

 private:
  // Addresses are numbered as the trace numbers them, in the order first
  // seen, so that words compare equal to the recording's.
  CallText Arguments() const { return CallText(shownBytes_); }

  std::int32_t Simple(Function function, const CallArguments& arguments) {
    std::lock_guard lock(mutex_);
    const RecordedCall* recorded = Answer(function, arguments);
    return recorded != nullptr ? recorded->Result : ResultNoDevice;
  }

  bool Matches(std::size_t index, Function function, const std::string& arguments) const {
    const RecordedCall& call = recording_.Calls[index];
    return call.Called == function && call.Arguments == arguments;
  }

  // The recorded call that answers this one, or null when it differs.
  const RecordedCall* Answer(Function function, const CallArguments& arguments) {
    const std::string& text = arguments.Str();
    const std::size_t size = recording_.Calls.size();
    if (pendingAddition_) {
      const std::size_t alternative = *pendingAddition_;
      pendingAddition_.reset();
      if (!(next_ < size && Matches(next_, function, text)) && Matches(alternative, function, text)) {
        // The call before was added, not the recorded calls before it
        // removed: take back the removal.
        verdict_.Matched -= 1;
        verdict_.Differed -= next_ - 1 - alternative;
        verdict_.Differed += 1;
        if (firstDifferenceTentative_) verdict_.FirstDifferenceLine = recording_.Calls[alternative].Line;
        Note("the call before was not in the recording; recording lines from " +
             std::to_string(recording_.Calls[alternative].Line) + " were not left out");
        next_ = alternative;
      }
      firstDifferenceTentative_ = false;
    }
    if (next_ < size && Matches(next_, function, text)) {
      return Matched(next_++);
    }
    const std::size_t window = std::min(size, next_ + ResyncWindow);
    for (std::size_t ahead = next_ + 1; ahead < window; ++ahead) {
      if (Matches(ahead, function, text)) {
        for (std::size_t skipped = next_; skipped < ahead; ++skipped) {
          Differ(recording_.Calls[skipped].Line,
                 "recording line " + std::to_string(recording_.Calls[skipped].Line) +
                     " was left out: " + recording_.Calls[skipped].Text());
        }
        firstDifferenceTentative_ = verdict_.FirstDifferenceLine == recording_.Calls[next_].Line;
        pendingAddition_ = next_;
        next_ = ahead + 1;
        return Matched(ahead);
      }
    }
    const std::string call = std::string(FunctionName(function)) + "(" + text + ")";
    if (next_ < size && recording_.Calls[next_].Called == function) {
      const RecordedCall& recorded = recording_.Calls[next_++];
      Differ(recorded.Line, "differs from recording line " + std::to_string(recorded.Line) +
                                ": " + recorded.Text());
    } else if (next_ < size) {
      Differ(recording_.Calls[next_].Line,
             "not in the recording, which goes on at line " +
                 std::to_string(recording_.Calls[next_].Line) + ": " + recording_.Calls[next_].Text());
    } else {
      Differ(LastLine() + 1, "not in the recording, which has ended");
    }
    return nullptr;
  }

  const RecordedCall* Matched(std::size_t index) {
    ++verdict_.Matched;
    const RecordedCall& call = recording_.Calls[index];
    if (withDelays_ && call.DurationMicroseconds && *call.DurationMicroseconds > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(*call.DurationMicroseconds));
    }
    return &call;
  }

  void Differ(std::size_t line, const std::string& what) {
    ++verdict_.Differed;
    if (verdict_.FirstDifferenceLine == 0) verdict_.FirstDifferenceLine = line;
    Note(what);
  }

  void Note(const std::string& what) {
    if (TracingEnabled()) TraceNote("replay: " + what);
  }

  std::size_t LastLine() const {
    return recording_.Calls.empty() ? 0 : recording_.Calls.back().Line;
  }

  void Report() {
    verdict_.NotReached = recording_.Calls.size() - std::min(next_, recording_.Calls.size());
    std::string line = "replay: " + std::to_string(verdict_.Matched) + " matched, " +
                       std::to_string(verdict_.Differed) + " differed, " +
                       std::to_string(verdict_.NotReached) + " not reached";
    if (verdict_.Differed > 0) {
      line += "; first difference at line " + std::to_string(verdict_.FirstDifferenceLine) +
              " of '" + path_ + "'";
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    WriteVerdictFile(path_, verdict_, "");
  }

  std::string path_;
  Recording recording_;
  std::size_t shownBytes_;
  bool withDelays_;
  std::mutex mutex_;
  std::size_t next_ = 0;
  std::optional<std::size_t> pendingAddition_;
  bool firstDifferenceTentative_ = false;
  Verdict verdict_;
};

}  // namespace

std::unique_ptr<Backend> MakeReplay(const char* path) {
  // A recording that cannot be used still gets a verdict file, so that a CI
  // job never reads the verdict of an earlier run.
  const auto refuse = [path](const std::string& problem) {
    ReportStartProblem(problem + "; the library has no devices");
    WriteVerdictFile(path, Verdict{}, problem);
    return MakeSimulatorWithoutDevices();
  };
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return refuse("cannot read the recording '" + std::string(path) + "': " + std::strerror(errno));
  }
  // One read of the whole recording: a million calls are some 60 MB.
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0 && !file.read(text.data(), size)) {
    return refuse("cannot read the recording '" + std::string(path) + "'");
  }
  Recording recording;
  std::string error;
  if (!ParseTrace(text, path, recording, error)) {
    return refuse(error);
  }
  return std::make_unique<Replay>(path, std::move(recording));
}

}  // namespace vandrel
