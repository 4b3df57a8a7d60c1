#include "sim/population.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace sim {
namespace {

constexpr std::size_t kVendorWidth = 8;
constexpr std::size_t kProductWidth = 16;
constexpr std::size_t kRevisionWidth = 4;
constexpr std::size_t kChipIdBytes = 4;
constexpr std::size_t kAddressParts = 4;
constexpr int kHexBase = 16;

struct Token {
  std::string text;
  bool quoted = false;
};

struct DriveEntry {
  DriveConfig config;
  std::vector<Fault> faults;
  std::size_t line = 0;
};

// Splits a line into blank-separated words. A word in double quotes keeps its
// blanks and may hold \" \\ and \xHH; '#' outside quotes starts a comment.
bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
    if (at == line.size() || line[at] == '#') return true;
    Token token;
    if (line[at] != '"') {
      const std::size_t start = at;
      while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') ++at;
      token.text = std::string(line.substr(start, at - start));
      tokens.push_back(std::move(token));
      continue;
    }
    token.quoted = true;
    for (++at;; ++at) {
      if (at >= line.size()) {
        error = "the quoted text has no closing quote";
        return false;
      }
      const char c = line[at];
      if (c == '"') break;
      if (c != '\\') {
        token.text += c;
        continue;
      }
      if (++at >= line.size()) continue;  // reported as unclosed above
      if (line[at] == '"' || line[at] == '\\') {
        token.text += line[at];
        continue;
      }
      unsigned value = 0;
      const char* first = line.data() + at + 1;
      if (line[at] != 'x' || at + 2 >= line.size() ||
          std::from_chars(first, first + 2, value, kHexBase).ptr != first + 2) {
        error = "a quoted text may only escape \\\", \\\\ and \\xHH";
        return false;
      }
      token.text += static_cast<char>(value);
      at += 2;
    }
    ++at;
    tokens.push_back(std::move(token));
  }
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

template <typename Number>
bool ParseNumber(std::string_view text, Number& value, int base = 10) {
  if (text.empty()) return false;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return failure == std::errc{} && end == text.data() + text.size();
}

bool ParseHexByte(std::string_view text, std::uint8_t& value) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  return text.size() <= 2 && ParseNumber(text, value, kHexBase);
}

bool ParseAddress(const std::string& text, DriveConfig& config) {
  std::array<std::uint8_t, kAddressParts> parts{};
  std::string_view rest = text;
  for (std::size_t i = 0; i < kAddressParts; ++i) {
    const std::size_t end = i + 1 < kAddressParts ? rest.find(':') : rest.size();
    if (end == std::string_view::npos || !ParseNumber(rest.substr(0, end), parts[i])) {
      return false;
    }
    rest.remove_prefix(i + 1 < kAddressParts ? end + 1 : end);
  }
  config.host = parts[0];
  config.channel = parts[1];
  config.target = parts[2];
  config.lun = parts[3];
  return true;
}

bool ParseLetter(const std::string& text, char& letter) {
  const bool colon = text.size() == 2 && text[1] == ':';
  if (text.size() != 1 && !colon) return false;
  const char c = text[0];
  if (c >= 'a' && c <= 'z') {
    letter = static_cast<char>(c - 'a' + 'A');
  } else if (c >= 'A' && c <= 'Z') {
    letter = c;
  } else {
    return false;
  }
  return true;
}

class Parser {
 public:
  bool Line(std::size_t number, std::string_view line, std::string& error) {
    tokens_.clear();
    if (!Tokenize(line, tokens_, error)) return false;
    if (tokens_.empty()) return true;
    const std::string& key = tokens_[0].text;
    if (key == "drive") return Drive(number, error);
    if (drives_.empty()) {
      error = Quote(key) + " comes before the first \"drive\" line";
      return false;
    }
    DriveConfig& config = drives_.back().config;
    if (key == "vendor") return Text(config.vendor, kVendorWidth, error);
    if (key == "product") return Text(config.product, kProductWidth, error);
    if (key == "revision") return Text(config.revision, kRevisionWidth, error);
    if (key == "revision-after-flash")
      return Text(config.revisionAfterFlash, kRevisionWidth, error);
    if (key == "flash-chip-id") return ChipId(config, error);
    if (key == "ready-after") return ReadyAfter(config, error);
    if (key == "medium") return Medium(config, error);
    if (key == "open-fails") return OpenFails(config, error);
    if (key == "in-use") return InUse(config, error);
    if (key == "ready-after-flash") return Count(config.becomingReadyAfterFlash, error);
    if (key == "max-sectors-kb") return Count(config.maxSectorsKb, error);
    if (key == "fault") return FaultLine(error);
    error = "unknown key " + Quote(key) +
            " (expected drive, vendor, product, revision, revision-after-flash, flash-chip-id, "
            "ready-after, ready-after-flash, medium, open-fails, in-use, max-sectors-kb or fault)";
    return false;
  }

  void AddTo(SimMachine& machine) {
    for (DriveEntry& entry : drives_) {
      SimDrive& drive = machine.AddDrive(std::move(entry.config));
      for (const Fault& fault : entry.faults) drive.InjectFault(fault);
    }
  }

 private:
  bool Drive(std::size_t number, std::string& error) {
    DriveEntry entry;
    entry.line = number;
    if (tokens_.size() < 2 || tokens_.size() > 3 || !ParseAddress(tokens_[1].text, entry.config)) {
      error =
          "\"drive\" takes a SCSI address host:channel:target:lun (each 0-255) and an "
          "optional drive letter";
      return false;
    }
    if (tokens_.size() == 3 && !ParseLetter(tokens_[2].text, entry.config.letter)) {
      error = Quote(tokens_[2].text) + " is not a drive letter (A to Z)";
      return false;
    }
    for (const DriveEntry& other : drives_) {
      const DriveConfig& a = other.config;
      const DriveConfig& b = entry.config;
      if (a.host == b.host && a.channel == b.channel && a.target == b.target && a.lun == b.lun) {
        error = "drive " + tokens_[1].text + " is listed twice (first on line " +
                std::to_string(other.line) + ")";
        return false;
      }
      if (b.letter != ' ' && a.letter == b.letter) {
        error = std::string("drive letter ") + b.letter + " is given twice (first on line " +
                std::to_string(other.line) + ")";
        return false;
      }
    }
    drives_.push_back(std::move(entry));
    return true;
  }

  bool Text(std::string& field, std::size_t width, std::string& error) {
    const std::string& key = tokens_[0].text;
    if (tokens_.size() != 2) {
      error = Quote(key) + " takes one text (in double quotes when it holds blanks)";
      return false;
    }
    if (tokens_[1].text.size() > width) {
      error = Quote(key) + " " + Quote(tokens_[1].text) + " is longer than " +
              std::to_string(width) + " characters";
      return false;
    }
    field = tokens_[1].text;
    return true;
  }

  bool ChipId(DriveConfig& config, std::string& error) {
    std::array<std::uint8_t, kChipIdBytes> id{};
    bool valid = tokens_.size() == kChipIdBytes + 1;
    for (std::size_t i = 0; valid && i < kChipIdBytes; ++i) {
      valid = ParseHexByte(tokens_[i + 1].text, id[i]);
    }
    if (!valid) {
      error = "\"flash-chip-id\" takes four hex bytes, e.g. BF D6 00 01";
      return false;
    }
    config.flashChipId = id;
    return true;
  }

  bool ReadyAfter(DriveConfig& config, std::string& error) {
    if (tokens_.size() == 2 && tokens_[1].text == "never") {
      config.becomingReadyPolls = kNeverReady;
      return true;
    }
    if (tokens_.size() != 2 || !ParseNumber(tokens_[1].text, config.becomingReadyPolls) ||
        config.becomingReadyPolls == kNeverReady) {
      error = "\"ready-after\" takes a number of polls or \"never\"";
      return false;
    }
    return true;
  }

  bool Medium(DriveConfig& config, std::string& error) {
    if (tokens_.size() == 2 && (tokens_[1].text == "present" || tokens_[1].text == "absent")) {
      config.mediumPresent = tokens_[1].text == "present";
      return true;
    }
    error = "\"medium\" takes \"present\" or \"absent\"";
    return false;
  }

  bool OpenFails(DriveConfig& config, std::string& error) {
    if (tokens_.size() != 2 || !ParseNumber(tokens_[1].text, config.openErrorCode) ||
        config.openErrorCode == 0) {
      error = "\"open-fails\" takes the error code the open fails with (errno or Win32, not 0)";
      return false;
    }
    config.openable = false;
    return true;
  }

  // in-use: the node refuses O_EXCL; in-use lock [MS]: another holds flock
  // on it (for MS milliseconds); in-use sg: its sg sibling refuses O_EXCL.
  bool InUse(DriveConfig& config, std::string& error) {
    const std::string what = tokens_.size() > 1 ? tokens_[1].text : "";
    if (tokens_.size() == 1) {
      config.inUse = true;
      return true;
    }
    if (what == "sg" && tokens_.size() == 2) {
      config.sgInUse = true;
      return true;
    }
    if (what == "lock" &&
        (tokens_.size() == 2 ||
         (tokens_.size() == 3 && ParseNumber(tokens_[2].text, config.lockHeldMs) &&
          config.lockHeldMs > 0))) {
      config.lockHeld = true;
      return true;
    }
    error =
        "\"in-use\" takes nothing, \"lock\" with an optional number of milliseconds (more "
        "than 0), or \"sg\"";
    return false;
  }

  bool Count(std::uint32_t& field, std::string& error) {
    if (tokens_.size() != 2 || !ParseNumber(tokens_[1].text, field)) {
      error = Quote(tokens_[0].text) + " takes a number";
      return false;
    }
    return true;
  }

  // fault TRIGGER [occurrence K] KIND [VALUES]
  bool FaultLine(std::string& error) {
    Fault fault;
    std::size_t at = 1;
    if (!Trigger(at, fault.when, error) || !Kind(at, fault, error)) return false;
    if (at != tokens_.size()) {
      error = "unexpected " + Quote(tokens_[at].text) + " after the fault";
      return false;
    }
    drives_.back().faults.push_back(fault);
    return true;
  }

  bool Trigger(std::size_t& at, FaultTrigger& when, std::string& error) {
    const auto word = [&](std::size_t i) { return i < tokens_.size() ? tokens_[i].text : ""; };
    if (word(at) == "command") {
      if (!ParseNumber(word(at + 1), when.commandNumber) || when.commandNumber == 0) {
        error = "\"command\" takes the command's number, counted from 1";
        return false;
      }
      at += 2;
    } else if (word(at) == "opcode") {
      std::uint8_t opcode = 0;
      if (!ParseHexByte(word(at + 1), opcode)) {
        error = "\"opcode\" takes a hex byte, e.g. 3B";
        return false;
      }
      when.opcode = opcode;
      at += 2;
      if (word(at) == "control") {
        std::uint8_t control = 0;
        if (!ParseHexByte(word(at + 1), control)) {
          error = "\"control\" takes a hex byte, e.g. 80";
          return false;
        }
        when.control = control;
        at += 2;
      }
    } else {
      error = "a fault starts with its trigger: \"command N\" or \"opcode XX [control XX]\"";
      return false;
    }
    if (word(at) == "occurrence") {
      if (!ParseNumber(word(at + 1), when.occurrence) || when.occurrence == 0) {
        error = "\"occurrence\" takes a number counted from 1";
        return false;
      }
      at += 2;
    }
    return true;
  }

  bool Kind(std::size_t& at, Fault& fault, std::string& error) {
    const std::string kind = at < tokens_.size() ? tokens_[at].text : "";
    ++at;
    // Words left from `at` on; counted afresh as words are taken.
    const auto left = [&] { return tokens_.size() - std::min(tokens_.size(), at); };
    const auto number = [&](std::uint32_t& value, const char* what) {
      if (left() >= 1 && ParseNumber(tokens_[at].text, value)) {
        ++at;
        return true;
      }
      error = Quote(kind) + " takes " + what;
      return false;
    };
    if (kind == "sense") {
      fault.kind = FaultKind::Sense;
      if (left() < 3 || !ParseHexByte(tokens_[at].text, fault.sense.key) ||
          !ParseHexByte(tokens_[at + 1].text, fault.sense.asc) ||
          !ParseHexByte(tokens_[at + 2].text, fault.sense.ascq)) {
        error = "\"sense\" takes three hex bytes: key, ASC, ASCQ (e.g. 03 0C 00)";
        return false;
      }
      at += 3;
      return true;
    }
    if (kind == "call-failed") {
      fault.kind = FaultKind::CallFailed;
      if (left() >= 1 && tokens_[at].text == "error") {
        ++at;
        return number(fault.errorCode, "\"error\" and the error code the call fails with");
      }
      return true;
    }
    if (kind == "never-completes") {
      fault.kind = FaultKind::NeverCompletes;
      if (left() >= 1 && tokens_[at].text == "port-reset") {
        fault.portReset = true;
        ++at;
      }
      return true;
    }
    if (kind == "completes-late") {
      fault.kind = FaultKind::CompletesLate;
      return number(fault.lateMilliseconds, "the milliseconds its completion is held back");
    }
    if (kind == "gone") {
      fault.kind = FaultKind::StopsAnswering;
      return true;
    }
    if (kind == "corrupt-read-back") {
      fault.kind = FaultKind::CorruptReadBack;
      return number(fault.byteIndex, "the index of the byte it flips");
    }
    if (kind == "short-transfer") {
      fault.kind = FaultKind::ShortTransfer;
      return number(fault.bytesMoved, "the number of bytes that are moved");
    }
    error = (kind.empty() ? std::string("the fault has no kind")
                          : "unknown fault kind " + Quote(kind)) +
            " (expected sense, call-failed, never-completes, completes-late, gone, "
            "corrupt-read-back or short-transfer)";
    return false;
  }

  std::vector<Token> tokens_;
  std::vector<DriveEntry> drives_;
};

}  // namespace

bool ParsePopulation(std::string_view text, SimMachine& machine, std::string& error) {
  Parser parser;
  std::size_t number = 0;
  while (!text.empty() || number == 0) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    std::string what;
    if (!parser.Line(number, line, what)) {
      error = "line " + std::to_string(number) + ": " + what;
      return false;
    }
  }
  parser.AddTo(machine);
  return true;
}

bool LoadPopulation(const std::string& path, SimMachine& machine, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the population file " + path + ": check its name and permissions";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read the population file " + path;
    return false;
  }
  if (ParsePopulation(text.str(), machine, error)) return true;
  error = path + ":" + error.substr(std::string_view("line ").size());
  return false;
}

}  // namespace sim
