// The model description file: up to 100 sections "MODEL00".."MODEL99" of ten
// keys each, read into ten parallel lists (one per key).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "catalogue/embedded_block.h"
#include "catalogue/ini_file.h"

inline constexpr std::size_t kMaxModels = 100;
inline constexpr char kMissingValue[] = "FAIL";  // also what a missing key reads as

// Key names, one per field, in field order.
extern const std::array<const char*, kModelFieldCount> kModelKeyNames;

// "MODEL" and the index as two digits.
std::string ModelSectionName(std::size_t index);

// The values of one section as read, in field order.
using ModelValues = std::array<std::string, kModelFieldCount>;
ModelValues ReadModelSection(const IniFile& ini, const std::string& section);

// Cuts and pads an accepted model's values to what the record fields hold.
void NormaliseModel(ModelValues& values);

// The model description file beside an executable: its path with the
// extension replaced by ".INI" (or ".INI" appended when it has none).
std::string ModelFilePathFor(const std::string& executablePath);

// Whether the program's start-up finds a description file at `path`: a
// directory is no file, and a path that cannot be looked at counts as
// missing. Anything else counts, even when it cannot be read.
bool ModelFileExists(const std::string& path);

// Ten parallel lists; entry i of every list belongs to model i.
struct ModelLists {
  std::array<std::vector<std::string>, kModelFieldCount> lists;

  const std::string& Value(std::size_t model, RecordField key) const {
    return lists[static_cast<std::size_t>(key)][model];
  }
  void Append(const ModelValues& values);
  void ReplaceLast(const ModelValues& values);
};
