// The checks on one script: each line is read, trimmed and split by the
// console's own functions, and each token is measured with the console's own
// decimal value and hex packing; this file only says what the result means.
#include "script_checker.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "console.h"

namespace {

// One row per Check, in its order.
constexpr CheckInfo CheckTable[] = {
    {"unknown-command", "a line that begins with a letter or digit selecting no command is skipped", false},
    {"command-word", "only the first letter of a longer command word counts", false},
    {"missing-token", "a command that does nothing without its first token", false},
    {"no-digits", "a number or handle without leading digits is read as 0", false},
    {"trailing-characters", "characters behind a number (or behind the character of 'd') are ignored", false},
    {"hash-note", "a '#' behind a command is a token, not a note", false},
    {"saturated", "a number beyond the 32-bit range is saturated", false},
    {"clamped", "a count that is lowered or replaced to fit its buffer", false},
    {"no-effect", "a negative pause, a pass count below 1", false},
    {"hex-digit", "a character of a hex text that is no hex digit counts as 0", false},
    {"hex-length", "a hex text longer than its buffer takes", false},
    {"hex-split", "hex given as separate bytes: the second byte is read as the next token", false},
    {"surplus", "tokens that the command ignores", false},
    {"long-line", "a line longer than 999 bytes runs in pieces", false},
    {"trimmed", "bytes trimmed from a line's end that were not blanks", false},
    {"zero-byte", "a zero byte ends the line's text", false},
    {"no-line-feed", "a last line without a line feed is not run", false},
    {"unreachable", "lines after an 'x' that no pass reaches", false},
    {"open-error", "a script that cannot be opened", false},
    {"name-relative", "a script that lies beside the calling script, not in the working folder", false},
    {"quoted-name", "quotation marks are part of a name", false},
    {"nesting-too-deep", "scripts nested deeper than the console allows", false},
    {"runs-itself", "a script that runs itself, directly or through others", false},
    {"byte-order-mark", "a UTF-8 byte order mark: the first line is skipped", false},
    {"utf16", "UTF-16 text: nothing runs", false},
    {"cr-line-ends", "carriage returns without line feeds do not end lines", false},
    {"ctrl-z", "a byte 0x1A ends the input on Windows", true},
    {"non-ascii-name", "a file name outside ASCII: Windows reads it in the ANSI code page", true},
    {"device-name", "a file name that is a Windows device (CON, NUL, COM1, ...)", true},
    {"forbidden-character", "a file name with a character that Windows forbids", true},
    {"trailing-dot", "a file name ending in a dot, which Windows drops", true},
    {"bad-directive", "a '# brdcheck:' directive that names no check", false},
};
static_assert(std::size(CheckTable) == static_cast<std::size_t>(Check::Count));

// The token roles of the commands. Which tokens a command reads, and at which
// position its handle stands, is the command language; how each token is
// read (decimal value, hex packing) and every limit come from the console.
enum class Role {
  Handle,
  Character,   // d: the first byte's code
  Value,       // h
  Modules,     // m
  Flags,       // t
  Pause,       // p: milliseconds
  ReadCount,   // r
  WriteCount,  // w
  Repeat,      // w
  Passes,      // f
  CommandHex,  // v
  PatternHex,  // w
  DeviceName,  // i
  Text,        // l
  ScriptName,  // f
  CaptureName  // r
};

struct CommandForm {
  char Letter;
  const char* Does;       // what the command is, for messages
  const char* Alone;      // what the command word alone does
  int Required;           // tokens after the command word without which it does nothing
  int Arity;              // tokens after the command word that it reads
  std::array<Role, 4> Roles;
};

constexpr CommandForm Forms[] = {
    {'c', "close a device", "closes the current device", 0, 1, {Role::Handle}},
    {'d', "test output", "sends test output code 0", 0, 2, {Role::Character, Role::Handle}},
    {'e', "list the devices", "lists the devices", 0, 0, {}},
    {'f', "run a script", "does nothing", 1, 2, {Role::ScriptName, Role::Passes}},
    {'h', "high voltage", "sets high voltage 1", 0, 2, {Role::Value, Role::Handle}},
    {'i', "open a device", "opens the first device", 0, 1, {Role::DeviceName}},
    {'l', "test text", "does nothing", 1, 1, {Role::Text}},
    {'m', "number of modules", "sets 0 modules", 0, 2, {Role::Modules, Role::Handle}},
    {'p', "pause", "does not pause", 1, 1, {Role::Pause}},
    {'r', "read a block", "reads 1600 bytes", 0, 3, {Role::ReadCount, Role::Handle, Role::CaptureName}},
    {'t', "test flags", "sets the test flags 65535", 0, 1, {Role::Flags}},
    {'v', "send command bytes", "sends nothing", 1, 2, {Role::CommandHex, Role::Handle}},
    {'w', "write a block", "sends nothing", 1, 4,
     {Role::WriteCount, Role::PatternHex, Role::Repeat, Role::Handle}},
    {'x', "end the input", "ends the input", 0, 0, {}},
};

const CommandForm* FormOf(char letter) {
  for (const CommandForm& form : Forms) {
    if (form.Letter == letter) {
      return &form;
    }
  }
  return nullptr;
}

// What the token is, for messages.
const char* RoleName(Role role) {
  switch (role) {
    case Role::Handle: return "the handle";
    case Role::Character: return "the character";
    case Role::Value: return "the value";
    case Role::Modules: return "the number of modules";
    case Role::Flags: return "the test flags";
    case Role::Pause: return "the milliseconds";
    case Role::ReadCount: return "the count";
    case Role::WriteCount: return "the count";
    case Role::Repeat: return "the repeat count";
    case Role::Passes: return "the pass count";
    case Role::CommandHex: return "the hex text";
    case Role::PatternHex: return "the hex pattern";
    case Role::DeviceName: return "the device name";
    case Role::Text: return "the test text";
    case Role::ScriptName: return "the script name";
    case Role::CaptureName: return "the capture file";
  }
  return "";
}

bool IsNumberRole(Role role) {
  switch (role) {
    case Role::Handle:
    case Role::Value:
    case Role::Modules:
    case Role::Flags:
    case Role::Pause:
    case Role::ReadCount:
    case Role::WriteCount:
    case Role::Repeat:
    case Role::Passes:
      return true;
    default:
      return false;
  }
}

// Which bytes PackHexDigits reads as digits, asked of PackHexDigits itself
// once: a byte is a digit when it packs to a value other than 0, or is '0'.
const std::array<bool, 256> HexDigitBytes = [] {
  std::array<bool, 256> table{};
  for (int byte = 1; byte < 256; ++byte) {
    const char text[2] = {static_cast<char>(byte), '\0'};
    unsigned char packed[1];
    PackHexDigits(text, 1, packed);
    table[static_cast<std::size_t>(byte)] = byte == '0' || packed[0] != 0;
  }
  return table;
}();

bool IsHexDigit(char byte) { return HexDigitBytes[static_cast<unsigned char>(byte)]; }

bool IsAllHex(const char* text) {
  for (; *text != '\0'; ++text) {
    if (!IsHexDigit(*text)) {
      return false;
    }
  }
  return true;
}

// A token that reads like one hex byte rather than a number: two hex digits
// with a leading zero or a hex letter ("02", "1B").
bool LooksLikeHexByte(const char* text) {
  if (std::strlen(text) != 2 || !IsAllHex(text)) {
    return false;
  }
  const auto isDecimal = [](char c) { return c >= '0' && c <= '9'; };
  return text[0] == '0' || !isDecimal(text[0]) || !isDecimal(text[1]);
}

std::string Quoted(const char* text) { return "'" + std::string(text) + "'"; }

std::string HexBytes(const unsigned char* bytes, int count, int shown) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string text;
  for (int index = 0; index < count && index < shown; ++index) {
    if (index > 0) {
      text += ' ';
    }
    text += Digits[bytes[index] >> 4];
    text += Digits[bytes[index] & 0xF];
  }
  if (count > shown) {
    text += " ...";
  }
  return text;
}

bool IsAsciiLetterOrDigit(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

char LowerAscii(char byte) { return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte; }

bool IsPathSeparator(char byte) { return byte == '/' || byte == '\\'; }

// The text mode of the platform this checker runs on: Windows' reader ends
// the input at a byte 0x1A, so the bytes from there are only seen raw.
#ifdef _WIN32
constexpr bool ReaderStopsAtCtrlZ = true;
#else
constexpr bool ReaderStopsAtCtrlZ = false;
#endif

constexpr char CtrlZ = 0x1A;

class LineChecker {
 public:
  LineChecker(CheckSet disabled, FileReport& report) : Disabled(disabled), Report(report) {}

  void Run(std::FILE* stream, const std::string& rawPath);

 private:
  void CheckPiece(int length, int extent);
  bool FindCarriageReturn(int length);
  bool CheckFirstLine(int length);
  void CheckDirective();
  void CheckCommand(bool continuation);
  void CheckToken(const CommandForm& form, int position);
  void CheckNumber(const CommandForm& form, int position, Role role);
  void CheckHex(int position, Role role);
  bool CheckHexSplit(const CommandForm& form);
  void CheckName(int position, Role role);
  void CheckTrimmed(int length, int trimmedLength);
  void CheckDroppedLastLine();
  void FindCtrlZRaw(const std::string& rawPath);

  void Add(int column, Check check, std::string message);
  void AddAtToken(int position, Check check, std::string message);
  int ColumnOf(const char* place) const { return PieceColumn + static_cast<int>(place - Line) + 1; }
  const char* TokenAt(int position) const { return Tokens.Slots[position]; }

  CheckSet Disabled;
  FileReport& Report;

  // The line buffer as the console has it; Raw keeps the text before the
  // trim. Bytes behind the current read are kept zero, so the end of a read
  // that held a zero byte can still be found.
  char Line[LineBufferSize] = {};
  char Raw[LineBufferSize] = {};
  TokenList Tokens;

  int PhysicalLine = 1;
  int PieceColumn = 0;       // bytes of this physical line in earlier pieces
  bool LongLineReported = false;
  CheckSet LineDisabled = 0;     // by directive, for the line being checked
  CheckSet PendingDisabled = 0;  // by directive, for the next line
  int EndLine = 0;               // the line of the first "x", 0 before it
  bool Stopped = false;          // nothing after this point needs a look
  bool CarriageReturnReported = false;
  bool CtrlZReported = false;
};

void LineChecker::Add(int column, Check check, std::string message) {
  if (((Disabled | LineDisabled) & Bit(check)) != 0) {
    return;
  }
  Report.Findings.push_back(Finding{PhysicalLine, column, check, std::move(message)});
}

void LineChecker::AddAtToken(int position, Check check, std::string message) {
  Add(ColumnOf(TokenAt(position)), check, std::move(message));
}

void LineChecker::Run(std::FILE* stream, const std::string& rawPath) {
  for (;;) {
    const int length = ReadCommandLine(stream, Line);
    if (length < 0) {
      CheckDroppedLastLine();
      break;
    }
    const bool endsAtLineFeed = length > 0 && Line[length - 1] == '\n';
    // How many bytes the read took: a text that ends neither at a line feed
    // nor at the read's limit was cut short by a zero byte.
    int extent = length;
    if (!endsAtLineFeed && length < LineReadSize - 1) {
      const void* lineFeed = std::memchr(Line + length + 1, '\n', static_cast<std::size_t>(LineReadSize - 2 - length));
      extent = lineFeed == nullptr ? LineReadSize - 1
                                   : static_cast<int>(static_cast<const char*>(lineFeed) - Line) + 1;
    }
    const bool pieceEndsLine = endsAtLineFeed || (extent > 0 && Line[extent - 1] == '\n');
    CheckPiece(length, extent);
    if (Stopped) {
      break;
    }
    std::memset(Line, 0, static_cast<std::size_t>(extent + 2 < LineBufferSize ? extent + 2 : LineBufferSize));
    if (pieceEndsLine) {
      ++PhysicalLine;
      PieceColumn = 0;
      LongLineReported = false;
    } else {
      PieceColumn += extent;
    }
  }
  if (ReaderStopsAtCtrlZ && !rawPath.empty() && !CtrlZReported && !Stopped) {
    FindCtrlZRaw(rawPath);
  }
}

bool LineChecker::FindCarriageReturn(int length) {
  const void* carriageReturn = std::memchr(Line, '\r', static_cast<std::size_t>(length));
  if (carriageReturn == nullptr) {
    return false;
  }
  if (!CarriageReturnReported) {
    CarriageReturnReported = true;
    Add(ColumnOf(static_cast<const char*>(carriageReturn)), Check::CrLineEnds,
        "carriage return without a line feed: it does not end a line, so what follows is part "
        "of this line's tokens");
  }
  return true;
}

void LineChecker::CheckPiece(int length, int extent) {
  std::memcpy(Raw, Line, static_cast<std::size_t>(length) + 1);
  const int trimmedLength = TrimCommandLine(Line, length);
  SplitCommandLine(Line, Tokens);
  const bool continuation = PieceColumn > 0;

  if (EndLine > 0) {
    if (Tokens.Count > 0 && TokenAt(0)[0] != '#') {
      LineDisabled = PendingDisabled;
      Add(ColumnOf(TokenAt(0)), Check::Unreachable,
          "never runs: the 'x' on line " + std::to_string(EndLine) +
              " ends the reading of this file, and no line after it is read");
      Stopped = true;
    }
    return;
  }

  if (Tokens.Count > 0 && TokenAt(0)[0] == '#') {
    CheckDirective();
    return;
  }
  if (!continuation) {
    LineDisabled = PendingDisabled;
    if (Tokens.Count > 0) {
      PendingDisabled = 0;
    }
  }

  if (PhysicalLine == 1 && !continuation && !CheckFirstLine(length)) {
    return;
  }
  if (extent > length) {
    // The read took more than its text: a zero byte ended the text.
    Add(PieceColumn + length + 1, Check::ZeroByte,
        "a zero byte ends the line's text here: the rest of the line is lost");
  }
  if (FindCarriageReturn(trimmedLength)) {
    return;
  }
  if (const void* ctrlZ = std::memchr(Raw, CtrlZ, static_cast<std::size_t>(length));
      ctrlZ != nullptr && !CtrlZReported) {
    CtrlZReported = true;
    Add(PieceColumn + static_cast<int>(static_cast<const char*>(ctrlZ) - Raw) + 1, Check::CtrlZ,
        "byte 0x1A: on Windows the input ends here, and nothing from here on runs");
  }
  CheckTrimmed(length, trimmedLength);
  if (Tokens.Count == 0) {
    return;
  }
  if (continuation && !LongLineReported) {
    LongLineReported = true;
    const bool runs = SelectsCommand(TokenAt(0)[0]);
    Add(ColumnOf(TokenAt(0)), Check::LongLine,
        "line longer than " + std::to_string(LineReadSize - 1) +
            " bytes: the console reads it in pieces of " + std::to_string(LineReadSize - 1) +
            " bytes, and the piece from column " + std::to_string(PieceColumn + 1) +
            " runs as a line of its own" +
            (runs ? ": '" + std::string(1, TokenAt(0)[0]) + "'" : " (and selects no command)"));
  }
  CheckCommand(continuation);
}

// The first line tells the encoding. Returns false when the line needs no
// further look.
bool LineChecker::CheckFirstLine(int length) {
  const auto byteAt = [this, length](int index) {
    return index < length ? static_cast<unsigned char>(Raw[index]) : 0;
  };
  if ((byteAt(0) == 0xFF && byteAt(1) == 0xFE) || (byteAt(0) == 0xFE && byteAt(1) == 0xFF)) {
    Add(1, Check::Utf16,
        "UTF-16 text: the console reads bytes, and each line ends at its first zero byte, so none "
        "of its commands runs as written (the end message is still written); save it as ASCII or UTF-8");
    Stopped = true;
    return false;
  }
  if (byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
    const char* rest = Line + 3;
    while (*rest == ' ' || *rest == '\t') {
      ++rest;
    }
    if (*rest != '\0' && *rest != '#') {
      Add(1, Check::ByteOrderMark,
          "UTF-8 byte order mark: the first line begins with the bytes EF BB BF, selects no "
          "command and is skipped; save the file without the mark");
    }
    return false;
  }
  return true;
}

void LineChecker::CheckDirective() {
  // "# brdcheck: disable=a,b" or "#brdcheck: disable=a,b", for the next line.
  int position = 1;
  if (std::strcmp(TokenAt(0), "#brdcheck:") != 0) {
    if (std::strcmp(TokenAt(0), "#") != 0 || Tokens.Count < 2 ||
        std::strcmp(TokenAt(1), "brdcheck:") != 0) {
      return;
    }
    position = 2;
  }
  LineDisabled = 0;
  for (; position < Tokens.Count; ++position) {
    const char* word = TokenAt(position);
    constexpr char Prefix[] = "disable=";
    if (std::strncmp(word, Prefix, sizeof Prefix - 1) != 0) {
      AddAtToken(position, Check::BadDirective,
                 Quoted(word) + " is no directive: write 'disable=<check>[,<check>...]'");
      continue;
    }
    std::string names = word + sizeof Prefix - 1;
    std::size_t start = 0;
    while (start <= names.size()) {
      const std::size_t end = std::min(names.find(',', start), names.size());
      const std::string name = names.substr(start, end - start);
      const Check check = CheckNamed(name);
      if (check == Check::Count) {
        AddAtToken(position, Check::BadDirective, Quoted(name.c_str()) + " names no check");
      } else {
        PendingDisabled |= Bit(check);
      }
      start = end + 1;
    }
  }
}

void LineChecker::CheckTrimmed(int length, int trimmedLength) {
  // Blanks, line ends and the 0x1A reported on its own are harmless to trim.
  int first = -1;
  std::string bytes;
  int shown = 0;
  for (int index = trimmedLength; index < length; ++index) {
    const char byte = Raw[index];
    if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == CtrlZ) {
      continue;
    }
    if (first < 0) {
      first = index;
    }
    if (shown++ < 6) {
      const auto value = static_cast<unsigned char>(byte);
      bytes += (bytes.empty() ? "" : " ") + HexBytes(&value, 1, 1);
    }
  }
  if (first < 0) {
    return;
  }
  if (shown > 6) {
    bytes += " ...";
  }
  std::string effect;
  if (trimmedLength == 0) {
    effect = "nothing is left of the line";
  } else if (Raw[trimmedLength] == ' ' || Raw[trimmedLength] == '\t' || first > trimmedLength) {
    effect = "the last token is " + Quoted(Tokens.Count > 0 ? TokenAt(Tokens.Count - 1) : "");
  } else {
    effect = "the last token is cut to " + Quoted(TokenAt(Tokens.Count - 1));
  }
  Add(PieceColumn + first + 1, Check::Trimmed,
      "trailing bytes " + bytes +
          " are trimmed (control characters and bytes 0x80 to 0xFF at a line's end): " + effect);
}

void LineChecker::CheckDroppedLastLine() {
  if (EndLine > 0 || Stopped || Line[0] == '\0') {
    return;
  }
  const auto length = static_cast<int>(std::strlen(Line));
  std::memcpy(Raw, Line, static_cast<std::size_t>(length) + 1);
  const int trimmedLength = TrimCommandLine(Line, length);
  SplitCommandLine(Line, Tokens);
  if (Tokens.Count == 0 || TokenAt(0)[0] == '#') {
    return;
  }
  if (PieceColumn == 0) {
    LineDisabled = PendingDisabled;
  }
  FindCarriageReturn(trimmedLength);
  Add(PieceColumn + length + 1, Check::NoLineFeed,
      "the last line has no line feed: the console does not run it; end it with a line feed");
}

void LineChecker::CheckCommand(bool continuation) {
  const char* word = TokenAt(0);
  if (!SelectsCommand(word[0])) {
    if (continuation || !IsAsciiLetterOrDigit(word[0])) {
      return;
    }
    const char lower = LowerAscii(word[0]);
    if (lower != word[0] && SelectsCommand(lower)) {
      Add(ColumnOf(word), Check::UnknownCommand,
          Quoted(word) + " selects no command: letters are case-sensitive, and '" +
              std::string(1, word[0]) + "' is not '" + std::string(1, lower) + "' (" +
              FormOf(lower)->Does + "); the line is skipped");
    } else {
      Add(ColumnOf(word), Check::UnknownCommand,
          Quoted(word) + " selects no command ('" + std::string(1, word[0]) +
              "' is no command letter): the line is skipped");
    }
    return;
  }
  const CommandForm& form = *FormOf(word[0]);
  const std::string letter(1, form.Letter);
  if (word[1] != '\0') {
    const bool alone = Tokens.Count == 1;
    std::string message = Quoted(word) + " runs '" + letter + "' (" + form.Does + ")" +
                          (alone ? std::string(" alone: it ") + form.Alone : std::string()) +
                          "; only the first letter of a command word counts";
    const bool argumentAttached = (word[1] >= '0' && word[1] <= '9') || word[1] == '-' || word[1] == '+';
    if (argumentAttached) {
      message += ", and arguments are separate tokens: '" + letter + " " + std::string(word + 1) + "'";
    }
    Add(ColumnOf(word), Check::CommandWord, std::move(message));
  }
  if (form.Letter == 'x') {
    EndLine = PhysicalLine;
  }
  const int arguments = Tokens.Count - 1;
  if (arguments < form.Required) {
    Add(ColumnOf(word), Check::MissingToken,
        "'" + letter + "' without " + RoleName(form.Roles[0]) + " " + form.Alone);
    return;
  }
  const bool split = CheckHexSplit(form);
  const int checked = arguments < form.Arity ? arguments : form.Arity;
  bool note = false;  // a '#' note read as a token; what follows is its text
  for (int position = 1; position <= checked && !note; ++position) {
    if (split && position >= (form.Letter == 'v' ? 2 : 3)) {
      break;
    }
    note = TokenAt(position)[0] == '#';
    CheckToken(form, position);
  }
  if (!split && !note && arguments > form.Arity && TokenAt(form.Arity + 1)[0] != '#') {
    AddAtToken(form.Arity + 1, Check::Surplus,
               Quoted(TokenAt(form.Arity + 1)) + (arguments > form.Arity + 1 ? " and what follows are" : " is") +
                   " ignored: '" + letter + "' takes " +
                   (form.Arity == 0 ? std::string("no arguments")
                                    : std::to_string(form.Arity) + (form.Arity == 1 ? " argument" : " arguments")));
  }
  if (form.Letter == 'f' && arguments >= 1) {
    ScriptCall call;
    call.Name = TokenAt(1);
    call.Passes = arguments >= 2 ? DecimalValue(TokenAt(2)) : 1;
    call.Line = PhysicalLine;
    call.Column = ColumnOf(TokenAt(1));
    call.Disabled = LineDisabled;
    if (call.Passes > 0) {
      Report.Calls.push_back(std::move(call));
    }
  }
}

void LineChecker::CheckToken(const CommandForm& form, int position) {
  const Role role = form.Roles[static_cast<std::size_t>(position - 1)];
  const char* token = TokenAt(position);
  if (token[0] == '#') {
    AddAtToken(position, Check::HashNote,
               Quoted(token) + " is read as " + RoleName(role) +
                   ": a '#' starts a note only at the start of a line");
    return;
  }
  if (IsNumberRole(role)) {
    CheckNumber(form, position, role);
    return;
  }
  switch (role) {
    case Role::Character:
      if (token[1] != '\0') {
        AddAtToken(position, Check::TrailingCharacters,
                   "'d' sends the code of the first byte of " + Quoted(token) + " (" +
                       std::to_string(static_cast<signed char>(token[0])) + "); the rest is ignored");
      }
      break;
    case Role::CommandHex:
    case Role::PatternHex:
      CheckHex(position, role);
      break;
    case Role::DeviceName:
    case Role::ScriptName:
    case Role::CaptureName:
      CheckName(position, role);
      break;
    default:
      break;
  }
}

void LineChecker::CheckNumber(const CommandForm& form, int position, Role role) {
  const char* token = TokenAt(position);
  const DecimalReading reading = ReadDecimal(token);
  if (!reading.HasDigits) {
    std::string effect;
    switch (role) {
      case Role::Handle:
        if (form.Letter == 'r' && Tokens.Count == 3) {
          AddAtToken(position, Check::NoDigits,
                     Quoted(token) + " stands where 'r' takes its handle: it is read as handle 0, "
                     "and nothing is captured; a capture file comes after the handle: 'r " +
                         std::string(TokenAt(1)) + " <handle> " + token + "'");
          return;
        }
        effect = "'" + std::string(1, form.Letter) + "' acts on handle 0";
        break;
      case Role::Value: effect = "high voltage 0"; break;
      case Role::Modules: effect = "0 modules"; break;
      case Role::Flags: effect = "the test flags become 0"; break;
      case Role::Pause: effect = "a pause of 0 ms"; break;
      case Role::ReadCount: effect = "'r' reads " + std::to_string(ReadBufferSize) + " bytes"; break;
      case Role::WriteCount: effect = "'w' passes the count 0"; break;
      case Role::Repeat: effect = "the pattern stands once"; break;
      case Role::Passes: effect = "no pass runs, only the end message is written"; break;
      default: break;
    }
    AddAtToken(position, Check::NoDigits,
               Quoted(token) + " has no leading digits and is read as 0: " + effect);
    return;
  }
  if (reading.Saturated) {
    AddAtToken(position, Check::Saturated,
               Quoted(token) + " lies beyond the 32-bit range and is read as " +
                   std::to_string(reading.Value));
  } else if (token[reading.Length] != '\0') {
    AddAtToken(position, Check::TrailingCharacters,
               Quoted(token) + " is read as " + std::to_string(reading.Value) + ": " +
                   Quoted(token + reading.Length) + " is ignored");
  }
  const std::int32_t value = reading.Value;
  switch (role) {
    case Role::ReadCount:
      if (value < 1 || value > ReadBufferSize) {
        AddAtToken(position, Check::Clamped,
                   "count " + std::to_string(value) + " lies outside 1 to " +
                       std::to_string(ReadBufferSize) + ": 'r' reads " +
                       std::to_string(ReadBufferSize) + " bytes");
      }
      break;
    case Role::WriteCount:
      if (value > WriteCountLimit) {
        AddAtToken(position, Check::Clamped,
                   "count " + std::to_string(value) + " is lowered to " +
                       std::to_string(WriteCountLimit));
      }
      break;
    case Role::Repeat: {
      unsigned char pattern[WriteBufferSize];
      const int patternLength = PackHexDigits(TokenAt(2), PatternTextLimit, pattern);
      const int fit = patternLength > 0 ? WriteBufferSize / patternLength : 0;
      if (value > fit) {
        AddAtToken(position, Check::Clamped,
                   "repeat count " + std::to_string(value) + " is lowered to " + std::to_string(fit) +
                       ": that many copies of the " + std::to_string(patternLength) +
                       "-byte pattern fit in " + std::to_string(WriteBufferSize) + " bytes");
      }
      break;
    }
    case Role::Pause:
      if (value < 0) {
        AddAtToken(position, Check::NoEffect, "pause " + std::to_string(value) + " is negative: no pause");
      }
      break;
    case Role::Passes:
      if (value == 0) {
        AddAtToken(position, Check::NoEffect,
                   "pass count 0: no pass runs, only the end message is written");
      } else if (value < 0) {
        AddAtToken(position, Check::NoEffect,
                   "pass count " + std::to_string(value) +
                       " is negative: the script does not run and nothing is written");
      }
      break;
    default:
      break;
  }
}

void LineChecker::CheckHex(int position, Role role) {
  const char* token = TokenAt(position);
  const int limit = role == Role::CommandHex ? CommandTextLimit : PatternTextLimit;
  const auto length = static_cast<int>(std::strlen(token));
  for (int index = 0; index < length && index < limit; ++index) {
    if (!IsHexDigit(token[index])) {
      unsigned char packed[WriteBufferSize];
      const int bytes = PackHexDigits(token, limit, packed);
      AddAtToken(position, Check::HexDigit,
                 Quoted(std::string(1, token[index]).c_str()) + " in " + Quoted(token) +
                     " is no hex digit and counts as 0: the bytes are " + HexBytes(packed, bytes, 8));
      break;
    }
  }
  if (length > limit) {
    AddAtToken(position, Check::HexLength,
               "hex text of " + std::to_string(length) + " characters: only the first " +
                   std::to_string(limit) + " are used (" + std::to_string(limit / 2) + " bytes)");
  }
}

// "v 1B 02 05", "w 6 01 02 03": bytes written apart, so that the second byte
// becomes the handle or the repeat count. Returns true when reported.
bool LineChecker::CheckHexSplit(const CommandForm& form) {
  int first = 0;  // the token that the second byte lands on
  if (form.Letter == 'v') {
    first = 2;
  } else if (form.Letter == 'w') {
    first = 3;
  } else {
    return false;
  }
  if (Tokens.Count <= first || !IsAllHex(TokenAt(first - 1))) {
    return false;
  }
  bool allBytes = true;
  int last = first;
  for (int position = first; position < Tokens.Count; ++position) {
    if (std::strlen(TokenAt(position)) != 2 || !IsAllHex(TokenAt(position))) {
      allBytes = false;
      break;
    }
    last = position;
  }
  const bool manyBytes = allBytes && Tokens.Count > first + 1;
  if (!LooksLikeHexByte(TokenAt(first)) && !manyBytes) {
    return false;
  }
  if (!manyBytes) {
    last = first;
  }
  std::string joined;
  for (int position = first - 1; position <= last; ++position) {
    joined += TokenAt(position);
  }
  std::string suggestion(1, form.Letter);
  for (int position = 1; position < first - 1; ++position) {
    suggestion += std::string(" ") + TokenAt(position);
  }
  suggestion += " " + joined;
  const Role role = form.Roles[static_cast<std::size_t>(first - 1)];
  unsigned char packed[WriteBufferSize];
  const int bytes = PackHexDigits(TokenAt(first - 1), PatternTextLimit, packed);
  AddAtToken(first, Check::HexSplit,
             Quoted(TokenAt(first)) + " is read as " + RoleName(role) + " (" +
                 std::to_string(DecimalValue(TokenAt(first))) + "), not as a byte, so the bytes are " +
                 HexBytes(packed, bytes, 8) + "; hex bytes are one token: '" + suggestion + "'");
  return true;
}

}  // namespace

bool IsWindowsDeviceName(const std::string& component) {
  const std::string stem = component.substr(0, component.find('.'));
  std::string upper;
  for (char c : stem) {
    upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") {
    return true;
  }
  return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
         upper[3] >= '1' && upper[3] <= '9';
}

namespace {

void LineChecker::CheckName(int position, Role role) {
  const char* token = TokenAt(position);
  const std::string name = token;
  if (name.find('"') != std::string::npos) {
    AddAtToken(position, Check::QuotedName,
               "quotation marks are part of " + std::string(RoleName(role)) + ": " + Quoted(token) +
                   " is used as it stands, and a name cannot hold a blank");
  }
  if (role == Role::DeviceName) {
    return;
  }
  const bool isScript = role == Role::ScriptName;
  for (char byte : name) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      AddAtToken(position, Check::NonAsciiName,
                 Quoted(token) + " has bytes outside ASCII: Windows reads the name in the ANSI code "
                 "page, so it may name another file there");
      break;
    }
  }
  std::size_t start = 0;
  bool firstComponent = true;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsPathSeparator(name[end])) {
      ++end;
    }
    const std::string component = name.substr(start, end - start);
    if (!component.empty() && IsWindowsDeviceName(component)) {
      AddAtToken(position, Check::DeviceName,
                 Quoted(component.c_str()) + " is a Windows device name: " +
                     (isScript ? "the script is read from the device, not from a file"
                               : "the capture goes to the device, not to a file"));
    }
    for (std::size_t index = 0; index < component.size(); ++index) {
      const char byte = component[index];
      const bool driveColon = byte == ':' && firstComponent && index == 1 &&
                              ((component[0] >= 'A' && component[0] <= 'Z') || (component[0] >= 'a' && component[0] <= 'z'));
      if ((std::strchr("<>:|?*", byte) != nullptr && !driveColon) ||
          (byte > 0 && byte < 0x20)) {
        AddAtToken(position, Check::ForbiddenCharacter,
                   Quoted(token) + " holds " + Quoted(std::string(1, byte).c_str()) +
                       ", which Windows forbids in file names: it cannot be opened there");
        break;
      }
    }
    if (component.size() > 0 && component.back() == '.' && component != "." && component != "..") {
      AddAtToken(position, Check::TrailingDot,
                 Quoted(component.c_str()) + " ends in a dot, which Windows drops from file names");
    }
    firstComponent = false;
    start = end + 1;
  }
}

// Windows' reader ends the input at a byte 0x1A; only the raw bytes show
// where, and that whatever follows is never read.
void LineChecker::FindCtrlZRaw(const std::string& rawPath) {
  std::FILE* raw = std::fopen(rawPath.c_str(), "rb");
  if (raw == nullptr) {
    return;
  }
  int line = 1;
  int column = 1;
  char buffer[1 << 16];
  std::size_t got = 0;
  bool found = false;
  while (!found && (got = std::fread(buffer, 1, sizeof buffer, raw)) > 0) {
    for (std::size_t index = 0; index < got; ++index) {
      if (buffer[index] == CtrlZ) {
        found = true;
        break;
      }
      if (buffer[index] == '\n') {
        ++line;
        column = 1;
      } else if (buffer[index] != '\r') {
        ++column;
      }
    }
  }
  std::fclose(raw);
  if (found) {
    PhysicalLine = line;
    LineDisabled = 0;
    Add(column, Check::CtrlZ, "byte 0x1A: on Windows the input ends here, and nothing from here on runs");
  }
}

}  // namespace

bool KnowsCommand(char firstByte) { return FormOf(firstByte) != nullptr; }

const CheckInfo& InfoOf(Check check) { return CheckTable[static_cast<std::size_t>(check)]; }

Check CheckNamed(const std::string& name) {
  for (int index = 0; index < static_cast<int>(Check::Count); ++index) {
    if (name == CheckTable[index].Name) {
      return static_cast<Check>(index);
    }
  }
  return Check::Count;
}

void CheckStream(std::FILE* stream, const std::string& rawPath, CheckSet disabled,
                 FileReport& report) {
  // The checker's state is some 2 KB of buffers; on the heap, so that deep
  // script chains cost no stack.
  auto checker = std::make_unique<LineChecker>(disabled, report);
  checker->Run(stream, rawPath);
  report.ReadFailed = std::ferror(stream) != 0;
}
