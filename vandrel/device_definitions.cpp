#include "device_definitions.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#define TOML_EXCEPTIONS 1
// toml++'s internal assertions fail on some malformed files; such a file is
// answered by the checks here instead (see vandrel/CMakeLists.txt).
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

namespace vandrel {
namespace {

std::vector<std::string> SplitList(const char* text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    if (!item.empty()) {
      items.push_back(item);
    }
  }
  return items;
}

std::optional<std::int32_t> ValueAfter(const std::string& item, const std::string& prefix) {
  if (item.rfind(prefix, 0) != 0) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(std::strtoll(item.c_str() + prefix.size(), nullptr, 10));
}

// A problem found in the file, with the line it stands on.
struct DefinitionError {
  std::uint32_t Line;
  std::string Problem;
};

[[noreturn]] void Fail(const toml::source_region& where, std::string problem) {
  throw DefinitionError{where.begin.line, std::move(problem)};
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// Reads the keys of one table, each at most once through the typed getters,
// and rejects any key that no getter asked for: a misspelt key must not pass
// unnoticed.
class TableReader {
 public:
  TableReader(const toml::table& table, std::string what) : table_(table), what_(std::move(what)) {}

  const toml::node* Find(std::string_view key) {
    known_.emplace_back(key);
    return table_.get(key);
  }

  std::optional<std::int64_t> Integer(std::string_view key, std::int64_t min, std::int64_t max,
                                      std::string_view meaning) {
    const toml::node* node = Find(key);
    if (node == nullptr) {
      return std::nullopt;
    }
    const auto* value = node->as_integer();
    if (value == nullptr) {
      Fail(node->source(), Quoted(key) + " in " + what_ + " must be an integer (" +
                               std::string(meaning) + "), not " + TypeName(*node));
    }
    const std::int64_t number = value->get();
    if (number < min || number > max) {
      Fail(node->source(), Quoted(key) + " in " + what_ + " is " + std::to_string(number) +
                               ", outside " + std::to_string(min) + " to " + std::to_string(max) +
                               " (" + std::string(meaning) + ")");
    }
    return number;
  }

  std::optional<std::string> String(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) {
      return std::nullopt;
    }
    const auto* value = node->as_string();
    if (value == nullptr) {
      Fail(node->source(), Quoted(key) + " in " + what_ + " must be a string, not " + TypeName(*node));
    }
    return value->get();
  }

  const toml::table* Table(std::string_view key) {
    const toml::node* node = Find(key);
    if (node == nullptr) {
      return nullptr;
    }
    if (!node->is_table()) {
      Fail(node->source(), Quoted(key) + " in " + what_ + " must be a table, not " + TypeName(*node));
    }
    return node->as_table();
  }

  // An array of tables: [[key]] sections.
  std::vector<const toml::table*> Tables(std::string_view key) {
    std::vector<const toml::table*> tables;
    const toml::node* node = Find(key);
    if (node == nullptr) {
      return tables;
    }
    const auto* array = node->as_array();
    if (array == nullptr) {
      Fail(node->source(), Quoted(key) + " in " + what_ + " must be written as [[" +
                               std::string(key) + "]] sections, not " + TypeName(*node));
    }
    for (const toml::node& element : *array) {
      if (!element.is_table()) {
        Fail(element.source(), "each " + Quoted(key) + " in " + what_ + " must be a table, not " +
                                   TypeName(element));
      }
      tables.push_back(element.as_table());
    }
    return tables;
  }

  void RejectUnknownKeys() const {
    for (const auto& [key, value] : table_) {
      bool known = false;
      for (const std::string& name : known_) {
        known = known || key.str() == name;
      }
      if (!known) {
        std::string names;
        for (const std::string& name : known_) {
          names += (names.empty() ? "" : ", ") + name;
        }
        const toml::source_region& where = key.source().begin.line != 0 ? key.source() : value.source();
        Fail(where, "unknown key " + Quoted(key.str()) + " in " + what_ + " (known: " + names + ")");
      }
    }
  }

  static std::string TypeName(const toml::node& node) {
    switch (node.type()) {
      case toml::node_type::string: return "a string";
      case toml::node_type::integer: return "an integer";
      case toml::node_type::floating_point: return "a number with a fraction";
      case toml::node_type::boolean: return "a boolean";
      case toml::node_type::table: return "a table";
      case toml::node_type::array: return "an array";
      default: return "a date or time";
    }
  }

 private:
  const toml::table& table_;
  std::string what_;
  std::vector<std::string> known_;
};

int HexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// Hex bytes, two digits each; spaces between bytes are allowed.
std::vector<unsigned char> HexBytes(TableReader& reader, std::string_view key,
                                    const toml::table& table) {
  const std::optional<std::string> text = reader.String(key);
  std::vector<unsigned char> bytes;
  if (!text) {
    return bytes;
  }
  const toml::source_region& where = table.get(key)->source();
  int high = -1;
  for (const char character : *text) {
    if (character == ' ') {
      if (high >= 0) {
        Fail(where, Quoted(key) + " " + Quoted(*text) + " has a byte with one hex digit");
      }
      continue;
    }
    const int value = HexDigitValue(character);
    if (value < 0) {
      Fail(where, Quoted(key) + " " + Quoted(*text) + " is not hex: " + Quoted(std::string(1, character)));
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<unsigned char>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) {
    Fail(where, Quoted(key) + " " + Quoted(*text) + " has an odd number of hex digits");
  }
  return bytes;
}

constexpr std::int64_t LongestDelay = 3600 * 1000;  // an hour, in milliseconds

Function FunctionNamed(TableReader& reader, const toml::table& table, std::string_view key) {
  const std::optional<std::string> name = reader.String(key);
  Function function{};
  if (name && FunctionByName(*name, function)) {
    return function;
  }
  const toml::node* node = table.get(key);
  if (node == nullptr) {
    Fail(table.source(), Quoted(key) + " is missing: it names the function, for example \"BrdReadData\"");
  }
  Fail(node->source(), Quoted(*name) + " is not one of the ten functions (BrdSetTestData ... BrdReadData)");
}

ValueLimits ReadLimits(const toml::table& table, const std::string& what) {
  TableReader reader(table, what);
  ValueLimits limits;
  limits.Min = static_cast<std::int32_t>(reader.Integer("min", INT32_MIN, INT32_MAX, "the smallest value accepted").value_or(INT32_MIN));
  limits.Max = static_cast<std::int32_t>(reader.Integer("max", INT32_MIN, INT32_MAX, "the largest value accepted").value_or(INT32_MAX));
  reader.RejectUnknownKeys();
  if (limits.Min > limits.Max) {
    Fail(table.source(), what + ": min is above max");
  }
  return limits;
}

// Far more than a definition or a read file needs; a name such as
// /dev/zero must end in a message, not in a library that reads for ever.
constexpr std::size_t LargestFile = 16 << 20;

std::vector<unsigned char> ReadWholeFile(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = std::strerror(errno);
    return {};
  }
  std::vector<unsigned char> bytes;
  char chunk[65536];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + file.gcount());
    if (bytes.size() > LargestFile) {
      error = "larger than " + std::to_string(LargestFile >> 20) + " MiB";
      return {};
    }
  }
  return bytes;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

DeviceDefinition ReadDevice(const toml::table& table, const std::string& folder) {
  TableReader reader(table, "[[device]]");
  DeviceDefinition device;
  const std::optional<std::string> name = reader.String("name");
  if (!name || name->empty()) {
    Fail(table.source(), "[[device]] needs a name");
  }
  device.Name = *name;
  const std::string what = "device " + Quoted(device.Name);
  if (auto info = reader.Integer("info", INT32_MIN, UINT32_MAX, "the word written back at open")) {
    device.Info = static_cast<std::int32_t>(static_cast<std::uint32_t>(*info));
  }
  if (const toml::table* modules = reader.Table("modules")) {
    device.Modules = ReadLimits(*modules, what + " modules");
  }
  if (const toml::table* voltage = reader.Table("high_voltage")) {
    device.HighVoltage = ReadLimits(*voltage, what + " high_voltage");
  }
  device.DelayMilliseconds = static_cast<std::uint32_t>(
      reader.Integer("delay_ms", 0, LongestDelay, "milliseconds").value_or(0));
  if (const toml::table* delays = reader.Table("delays_ms")) {
    for (const auto& [key, value] : *delays) {
      Function function{};
      if (!FunctionByName(key.str(), function)) {
        Fail(key.source(), Quoted(key.str()) + " in delays_ms is not one of the ten functions");
      }
      const auto* number = value.as_integer();
      if (number == nullptr || number->get() < 0 || number->get() > LongestDelay) {
        Fail(value.source(), "delays_ms." + std::string(key.str()) +
                                 " must be a whole number of milliseconds from 0 to " +
                                 std::to_string(LongestDelay));
      }
      device.FunctionDelayMilliseconds[static_cast<std::size_t>(function)] =
          static_cast<std::uint32_t>(number->get());
    }
  }
  for (const toml::table* replyTable : reader.Tables("reply")) {
    TableReader replyReader(*replyTable, "[[device.reply]]");
    CommandReply reply;
    reply.Prefix = HexBytes(replyReader, "command", *replyTable);
    if (replyTable->get("command") == nullptr) {
      Fail(replyTable->source(), "[[device.reply]] needs 'command', the hex bytes a command begins with");
    }
    reply.Queue = HexBytes(replyReader, "queue", *replyTable);
    reply.Result = static_cast<std::int32_t>(
        replyReader.Integer("result", INT32_MIN, INT32_MAX, "BrdCommand's result").value_or(0));
    replyReader.RejectUnknownKeys();
    device.Replies.push_back(std::move(reply));
  }
  if (const std::optional<std::string> reads = reader.String("reads")) {
    static constexpr std::pair<const char*, ReadSource> Sources[] = {
        {"loopback", ReadSource::Loopback}, {"ramp", ReadSource::Ramp},
        {"random", ReadSource::Random}, {"file", ReadSource::File}};
    bool found = false;
    for (const auto& [sourceName, source] : Sources) {
      if (*reads == sourceName) {
        device.Reads = source;
        found = true;
      }
    }
    if (!found) {
      Fail(table.get("reads")->source(),
           "reads " + Quoted(*reads) + " is none of loopback, ramp, random, file");
    }
  }
  device.Seed = static_cast<std::uint64_t>(
      reader.Integer("seed", 0, INT64_MAX, "the seed of random reads").value_or(1));
  if (const std::optional<std::string> file = reader.String("file")) {
    std::string problem;
    const std::string path = file->empty() || file->front() == '/' ? *file : folder + *file;
    device.FileBytes = ReadWholeFile(path, problem);
    if (!problem.empty()) {
      Fail(table.get("file")->source(), "cannot read " + Quoted(path) + ": " + problem);
    }
    if (device.FileBytes.empty()) {
      Fail(table.get("file")->source(), Quoted(path) + " is empty: reads need at least one byte");
    }
  }
  if (device.Reads == ReadSource::File && device.FileBytes.empty()) {
    Fail(table.source(), what + " reads from a file but names none ('file')");
  }
  if (auto calls = reader.Integer("disappear_after", 1, INT64_MAX, "calls before the device is gone")) {
    device.DisappearAfterCalls = static_cast<std::uint64_t>(*calls);
  }
  reader.RejectUnknownKeys();
  return device;
}

FaultDefinition ReadFault(const toml::table& table) {
  TableReader reader(table, "[[fault]]");
  FaultDefinition fault;
  fault.Target = FunctionNamed(reader, table, "function");
  if (auto call = reader.Integer("call", 1, INT64_MAX, "which call of the function, from 1")) {
    fault.Call = static_cast<std::uint64_t>(*call);
  }
  if (auto result = reader.Integer("result", INT32_MIN, INT32_MAX, "the result of the failed call")) {
    fault.Result = static_cast<std::int32_t>(*result);
  }
  fault.DelayMilliseconds = static_cast<std::uint32_t>(
      reader.Integer("delay_ms", 0, LongestDelay, "milliseconds").value_or(0));
  if (auto shortRead = reader.Integer("short_read", 0, 1600, "bytes a read places at most")) {
    if (fault.Target != Function::ReadData) {
      Fail(table.get("short_read")->source(), "short_read applies to BrdReadData only");
    }
    fault.ShortRead = static_cast<std::int32_t>(*shortRead);
  }
  reader.RejectUnknownKeys();
  return fault;
}

}  // namespace

std::vector<std::string> ParseDeviceNames(const char* text) {
  return SplitList(text == nullptr ? "SIM0,SIM1" : text);
}

ShorthandFaults ParseShorthandFaults(const char* text) {
  ShorthandFaults faults;
  for (const std::string& item : SplitList(text == nullptr ? "" : text)) {
    if (auto value = ValueAfter(item, "read-result=")) {
      faults.ReadResult = value;
    } else if (auto result = ValueAfter(item, "init-result=")) {
      faults.InitResult = result;
    } else if (item == "enum-unterminated") {
      faults.EnumUnterminated = true;
    } else if (item == "enum-empty") {
      faults.EnumEmpty = true;
    }
  }
  return faults;
}

Definitions BuiltinDefinitions(const char* names) {
  Definitions definitions;
  for (std::string& name : ParseDeviceNames(names)) {
    DeviceDefinition device;
    device.Name = std::move(name);
    definitions.Devices.push_back(std::move(device));
  }
  return definitions;
}

bool ParseDefinitions(std::string_view text, const std::string& path, Definitions& definitions,
                      std::string& error) {
  definitions = Definitions{};
  try {
    const toml::table root = toml::parse(text, path);
    TableReader reader(root, "the file");
    for (const toml::table* device : reader.Tables("device")) {
      definitions.Devices.push_back(ReadDevice(*device, FolderOf(path)));
      for (std::size_t other = 0; other + 1 < definitions.Devices.size(); ++other) {
        if (definitions.Devices[other].Name == definitions.Devices.back().Name) {
          Fail(device->source(), "a second device named " + Quoted(definitions.Devices.back().Name));
        }
      }
    }
    for (const toml::table* fault : reader.Tables("fault")) {
      definitions.Faults.push_back(ReadFault(*fault));
    }
    reader.RejectUnknownKeys();
  } catch (const toml::parse_error& failure) {
    error = path + ":" + std::to_string(failure.source().begin.line) + ": " +
            std::string(failure.description());
    definitions = Definitions{};
    return false;
  } catch (const DefinitionError& failure) {
    error = path + ":" + std::to_string(failure.Line) + ": " + failure.Problem;
    definitions = Definitions{};
    return false;
  }
  return true;
}

bool LoadDefinitions(const std::string& path, Definitions& definitions, std::string& error) {
  std::string problem;
  const std::vector<unsigned char> bytes = ReadWholeFile(path, problem);
  if (!problem.empty()) {
    error = path + ": cannot read the file: " + problem;
    definitions = Definitions{};
    return false;
  }
  return ParseDefinitions(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                          path, definitions, error);
}

}  // namespace vandrel
