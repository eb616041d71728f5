#pragma once
// JSON reading and writing over the record tables (record/record.hpp).
#include <optional>
#include <string>
#include <string_view>

#include "formats/format.hpp"
#include "record/record.hpp"

namespace qv::json {

// The names of the record framework that the reader and the writer use.
using record::FieldDef;
using record::FieldKind;
using record::RecordDef;
using record::Text;
using record::PairList;
using record::TextList;
using record::TextPair;
using record::value_as;

// ---------------------------------------------------------------------------
// Writing compact JSON text.

// Appends `text` as a JSON string: quotation mark and backslash escaped with a
// backslash, \b \f \n \r \t for those controls, \u00xx (lower-case hex) for the
// other characters below U+0020, every other byte as it is.
void append_escaped(std::string& out, std::string_view text);

// Appends the record as one compact JSON object: its written fields in table
// order, no white space. Room for the text is reserved first from an estimate
// on the high side (every field counted as written, texts without escapes,
// long lists from a sample of their elements), so that a large text is not
// copied as it grows. Never fails.
std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
                                                const void* record);

// ---------------------------------------------------------------------------
// Reading.

// The reader of formats/format.hpp: only white space may follow the record;
// a failure's message ends with its position (" at line L column C").
bool read_record(std::string_view text, const record::RecordDef& def, void* record,
                 std::string& error);

// Checks that `text` is exactly one well-formed JSON value (white space
// around it allowed), with the rules used for values of unknown keys.
bool validate(std::string_view text, std::string& error);

// The JSON library's rendering of a floating-point number found where
// another kind was expected: floating point `1.0`, `1e20`, `1.5e-7`.
std::string unexpected_float(double d);

// The shortest digits that read back as `d`, in the layout of the JSON
// library's float printer: 1.0, 0.001, 1e20, 1.5e-7; NaN, inf, -inf.
std::string format_double(double d);

}  // namespace qv::json
