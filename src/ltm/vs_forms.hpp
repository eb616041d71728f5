#pragma once
// The TOML writer of records over their field tables: each call takes a table and a record, so it
// serves any record of the framework. It prints the record directly, with the same text as the TOML
// layer's value-tree road (toml::write_record: JSON value tree -> TOML table -> printer), which
// debug builds compare it with on every call.
#include <string>

#include "formats/record.hpp"

namespace qv::ltm {

// Text of a document, or the message of its failure.
struct DocumentText {
  bool ok;
  std::string text;  // the document, or the error's debug description
};

// A TOML document: in every table the plain entries, then the arrays of tables, then the
// sub-tables, each group in byte order of the keys. Fails ("UnsupportedType") only for an unset
// optional text that a table writes anyway.
DocumentText toml_write_record(const quilvarn::formats::RecordDef& def, const void* record);

}  // namespace qv::ltm
