#include "catalogue/model_catalogue.h"

#include <cstdio>

#include "catalogue/path_text.h"
#include "common/fixed_text.h"

const std::array<const char*, kModelFieldCount> kModelKeyNames = {
    "Model",     "Inquiry10",  "FW-Range10", "Inquiry20", "FW-Range20",
    "Inquiry30", "FW-Range30", "Vendor",     "Note",      "BINMask",
};

namespace {
constexpr std::size_t kInquiryWidth = 24;
constexpr std::size_t kFieldTextLimit = 24;
}  // namespace

std::string ModelSectionName(std::size_t index) {
  char name[16];
  std::snprintf(name, sizeof name, "%5.5s%02u", "MODEL", static_cast<unsigned>(index % 100));
  return name;
}

ModelValues ReadModelSection(const IniFile& ini, const std::string& section) {
  ModelValues values;
  for (std::size_t k = 0; k < kModelFieldCount; ++k) {
    values[k] = ini.ReadString(section, kModelKeyNames[k], kMissingValue);
  }
  return values;
}

void NormaliseModel(ModelValues& values) {
  for (std::size_t k = 0; k < kModelFieldCount; ++k) {
    switch (static_cast<RecordField>(k)) {
      case RecordField::Inquiry10:
      case RecordField::Inquiry20:
      case RecordField::Inquiry30:
        values[k] = fixed_text::LeftAligned(values[k], kInquiryWidth, kInquiryWidth);
        break;
      case RecordField::BINMask:
        break;  // used as read: it never reaches the record
      default:
        values[k] = fixed_text::Cut(values[k], kFieldTextLimit);
        break;
    }
  }
}

std::string ModelFilePathFor(const std::string& executablePath) {
  return ReplaceExtension(executablePath, ".INI");
}

void ModelLists::Append(const ModelValues& values) {
  for (std::size_t k = 0; k < kModelFieldCount; ++k) lists[k].push_back(values[k]);
}

void ModelLists::ReplaceLast(const ModelValues& values) {
  for (std::size_t k = 0; k < kModelFieldCount; ++k) lists[k].back() = values[k];
}
