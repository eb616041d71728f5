#pragma once
// The TOML writer of records over their field tables, as the classes' member bodies take it: the
// document, or the debug description of its failure.
#include <string>

#include "formats/record.hpp"

namespace qv::ltm {

// Text of a document, or the message of its failure.
struct DocumentText {
  bool ok;
  std::string text;  // the document, or the error's debug description
};

// quilvarn::toml::write_record (formats/toml.hpp): fails ("UnsupportedType") only for an unset
// optional text that a table writes anyway.
DocumentText toml_write_record(const quilvarn::formats::RecordDef& def, const void* record);

}  // namespace qv::ltm
