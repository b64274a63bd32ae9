#include "trace_reader.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace vandrel {
namespace {

// Same limit on runs as the console's buffers allow and then some; a run
// count beyond it cannot come from this library and would cost memory.
constexpr std::size_t LongestBuffer = 1 << 16;

struct ParseFailure {
  std::string Problem;
};

[[noreturn]] void Fail(std::string problem) { throw ParseFailure{std::move(problem)}; }

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  if (*begin == '+') return false;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// Seconds with six decimals, as the trace writes times: "12.000345".
bool ParseSeconds(std::string_view text, std::int64_t& microseconds) {
  const std::size_t point = text.find('.');
  std::int64_t whole = 0;
  std::int64_t fraction = 0;
  if (point == std::string_view::npos || text.size() - point != 7 ||
      !ParseNumber(text.substr(0, point), whole) || !ParseNumber(text.substr(point + 1), fraction) ||
      whole < 0 || fraction < 0 || whole > std::numeric_limits<std::int64_t>::max() / 1000000 - 1) {
    return false;
  }
  microseconds = whole * 1000000 + fraction;
  return true;
}

// The end of the text that starts at begin (an opening quote), past its
// closing quote; npos when it is not closed.
std::size_t EndOfQuoted(std::string_view text, std::size_t begin) {
  for (std::size_t index = begin + 1; index < text.size(); ++index) {
    if (text[index] == '\\') {
      ++index;
    } else if (text[index] == '"') {
      return index + 1;
    }
  }
  return std::string_view::npos;
}

// Splits "a=1, b="x, y", c=[..]" at the commas between items.
std::vector<std::string_view> SplitItems(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  std::size_t index = 0;
  while (index < text.size()) {
    if (text[index] == '"') {
      index = EndOfQuoted(text, index);
      if (index == std::string_view::npos) Fail("a quoted text is not closed");
      continue;
    }
    if (text.compare(index, 2, ", ") == 0) {
      items.push_back(text.substr(start, index - start));
      index += 2;
      start = index;
      continue;
    }
    ++index;
  }
  items.push_back(text.substr(start));
  return items;
}

void ReadWriteBack(std::string_view item, RecordedCall& call) {
  const std::size_t equals = item.find('=');
  if (equals == std::string_view::npos) Fail("a write-back without '=': '" + std::string(item) + "'");
  const std::string_view name = item.substr(0, equals);
  const std::string_view value = item.substr(equals + 1);
  if (name == "info" && call.Called == Function::InitDevice) {
    // @n(value)
    const std::size_t open = value.find('(');
    std::int32_t word = 0;
    if (value.size() < 4 || value.front() != '@' || open == std::string_view::npos || value.back() != ')' ||
        !ParseNumber(value.substr(open + 1, value.size() - open - 2), word)) {
      Fail("the info word is not @<n>(<value>): '" + std::string(value) + "'");
    }
    call.Info = word;
  } else if (name == "list" && call.Called == Function::EnumDevice) {
    std::string list;
    if (!ParseQuotedText(value, list)) Fail("the device list is not a quoted text");
    call.List = std::move(list);
  } else if (name == "buffer" && call.Called == Function::ReadData) {
    std::vector<unsigned char> bytes;
    if (!ParseHexRuns(value, bytes, call.BytesLeftOut)) Fail("the buffer read is not [hex bytes]");
    call.Bytes = std::move(bytes);
  } else {
    std::string problem = "'";
    problem.append(name);
    problem.append("' is not written back by ");
    problem.append(FunctionName(call.Called));
    Fail(std::move(problem));
  }
}

// "<seq> <Function>(<arguments>) = <result>[ -> <write-backs>]"
RecordedCall ReadCall(std::string_view text) {
  RecordedCall call;
  const std::size_t space = text.find(' ');
  std::uint64_t sequence = 0;
  if (space == std::string_view::npos || !ParseNumber(text.substr(0, space), sequence)) {
    Fail("a call line starts with its sequence number");
  }
  text.remove_prefix(space + 1);
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos || !FunctionByName(text.substr(0, open), call.Called)) {
    Fail("no function of the library is named here");
  }
  // The arguments end at the ')' that closes the '(' after the name;
  // words passed by address, @n(value), have parentheses of their own.
  std::size_t index = open + 1;
  for (int depth = 0; index < text.size() && (text[index] != ')' || depth > 0);) {
    if (text[index] == '"') {
      index = EndOfQuoted(text, index);
      if (index == std::string_view::npos) Fail("a quoted text is not closed");
      continue;
    }
    depth += text[index] == '(' ? 1 : text[index] == ')' ? -1 : 0;
    ++index;
  }
  if (index >= text.size()) Fail("the arguments are not closed by ')'");
  call.Arguments = std::string(text.substr(open + 1, index - open - 1));
  text.remove_prefix(index + 1);
  if (text.compare(0, 3, " = ") != 0) Fail("the result is missing (' = <result>')");
  text.remove_prefix(3);
  const std::size_t arrow = text.find(" -> ");
  if (!ParseNumber(text.substr(0, arrow), call.Result)) Fail("the result is not a 32-bit number");
  if (arrow != std::string_view::npos) {
    for (const std::string_view item : SplitItems(text.substr(arrow + 4))) {
      ReadWriteBack(item, call);
    }
  }
  return call;
}

}  // namespace

std::string RecordedCall::Text() const {
  return std::string(FunctionName(Called)) + "(" + Arguments + ") = " + std::to_string(Result);
}

bool ParseHexRuns(std::string_view text, std::vector<unsigned char>& bytes, std::size_t& leftOut) {
  bytes.clear();
  leftOut = 0;
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
  text = text.substr(1, text.size() - 2);
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view token = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    if (token.size() == 2 && HexValue(token[0]) >= 0 && HexValue(token[1]) >= 0) {
      if (bytes.size() >= LongestBuffer) return false;
      bytes.push_back(static_cast<unsigned char>(HexValue(token[0]) * 16 + HexValue(token[1])));
    } else if (token.size() > 1 && token[0] == 'x' && !bytes.empty()) {
      std::size_t run = 0;
      if (!ParseNumber(token.substr(1), run) || run < 2 || run > LongestBuffer - bytes.size() + 1) return false;
      bytes.insert(bytes.end(), run - 1, bytes.back());
    } else if (token == "...") {
      // "... <n> more" ends the text.
      const std::size_t more = text.find(' ');
      if (more == std::string_view::npos || text.substr(more + 1) != "more" ||
          !ParseNumber(text.substr(0, more), leftOut) || leftOut == 0 || leftOut > LongestBuffer) {
        return false;
      }
      return true;
    } else {
      return false;
    }
  }
  return true;
}

bool ParseQuotedText(std::string_view text, std::string& bytes) {
  bytes.clear();
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
  for (std::size_t index = 1; index + 1 < text.size(); ++index) {
    const char character = text[index];
    if (character == '"') return false;
    if (character != '\\') {
      bytes += character;
      continue;
    }
    if (++index + 1 >= text.size()) return false;
    switch (text[index]) {
      case '\\': bytes += '\\'; break;
      case '"': bytes += '"'; break;
      case 't': bytes += '\t'; break;
      case 'n': bytes += '\n'; break;
      case 'r': bytes += '\r'; break;
      case '0': bytes += '\0'; break;
      case 'x': {
        if (index + 3 >= text.size()) return false;
        const int high = HexValue(text[index + 1]);
        const int low = HexValue(text[index + 2]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        index += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

bool ParseTrace(std::string_view text, const std::string& path, Recording& recording,
                std::string& error) {
  recording = Recording{};
  recording.Calls.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  std::size_t lineNumber = 0;
  try {
    while (!text.empty()) {
      ++lineNumber;
      const std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      // A trace that went through a Windows editor has CR LF line ends.
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || line.front() == '#') continue;
      std::optional<std::int64_t> duration;
      if (line.front() != ' ' && line.find('.') < line.find('(')) {
        // "<since first call> <duration or ...> " before the call.
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        std::int64_t since = 0;
        std::int64_t took = 0;
        if (second == std::string_view::npos || !ParseSeconds(line.substr(0, first), since)) {
          Fail("a timed line starts with the seconds since the first call");
        }
        const std::string_view durationText = line.substr(first + 1, second - first - 1);
        if (durationText == "...") continue;  // written before the call was answered
        if (!ParseSeconds(durationText, took)) Fail("the call's duration is not seconds");
        duration = took;
        line.remove_prefix(second + 1);
      }
      RecordedCall call = ReadCall(line);
      call.Line = lineNumber;
      call.DurationMicroseconds = duration;
      if (call.BytesLeftOut > 0 && call.Bytes) recording.ShownBytes = call.Bytes->size();
      if (const std::size_t cut = call.Arguments.find(" more]"); cut != std::string::npos) {
        // A buffer argument cut as the trace was written: the replay cuts
        // the buffers it compares alike.
        const std::size_t open = call.Arguments.rfind('[', cut);
        std::vector<unsigned char> shown;
        std::size_t leftOut = 0;
        if (open == std::string::npos ||
            !ParseHexRuns(std::string_view(call.Arguments).substr(open, cut + 6 - open), shown, leftOut)) {
          Fail("a cut buffer is not [hex bytes ... <n> more]");
        }
        recording.ShownBytes = shown.size();
      }
      recording.Calls.push_back(std::move(call));
    }
  } catch (const ParseFailure& failure) {
    error = path + ":" + std::to_string(lineNumber) + ": " + failure.Problem;
    recording = Recording{};
    return false;
  }
  return true;
}

}  // namespace vandrel
