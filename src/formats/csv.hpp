#pragma once
// CSV writing: one header row of field names and record rows, with the
// settings every writer of the module uses (`CsvWriterSettings`).
//
// A record's header walk gives its field names to a `HeaderSink`; a list or a
// nested record met there cannot be written under a single header name and
// ends the walk with an error. Its record walk gives the values, lists and
// nested records flattened, to a `Writer`. `RecordWriter::row` runs both
// walks with the header state of the writer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/format.hpp"
#include "record/record.hpp"

namespace qv::csv {

struct CsvWriterSettings {
  char delimiter = ',';
  char quote = '"';                    // doubled inside a quoted field, never escaped
  std::string_view terminator = "\n";  // after every row, the last one included
  bool has_headers = true;             // the first row holds the field names
  bool flexible = false;               // every row has the field count of the first
};

// Success, or the writer's failure (its message is what `try_to_csv` reports).
using Status = std::optional<formats::WriteError>;

// "CSV write error: cannot serialize <kind> container inside struct when
// writing headers from structs"; kind is "sequence" for a list, or the name
// of the nested record.
formats::WriteError container_in_header(std::string_view kind);

// True when the field must be enclosed in quotes: it holds the delimiter, the
// quote, a carriage return or a line feed.
bool needs_quotes(std::string_view field, const CsvWriterSettings& settings = {});

// Appends rows to a string.
class Writer {
 public:
  explicit Writer(std::string& out, CsvWriterSettings settings = {})
      : out_(&out), settings_(settings), row_start_(out.size()) {}

  void field(std::string_view text);
  void field(const char* text) { field(std::string_view(text)); }
  void field(uint64_t value);
  void field(bool value);
  // Ends the row with the terminator. A row of no bytes at all (one empty
  // field, or none) is written as two quotes, so that it is not an empty
  // line. Fails when the row's field count differs from the first row's.
  Status end_row();

  std::size_t fields_in_row() const noexcept { return fields_; }

 private:
  std::string* out_;
  CsvWriterSettings settings_;
  std::size_t row_start_;
  std::size_t fields_ = 0;
  std::optional<std::size_t> width_;  // field count of the first row
};

// Receives the header walk of a record: names, and the failures of fields
// that cannot stand under one name.
class HeaderSink {
 public:
  explicit HeaderSink(Writer& w) noexcept : writer_(&w) {}
  void name(std::string_view key) {
    writer_->field(key);
    ++names_;
  }
  // A field holding a list.
  formats::WriteError sequence() const { return container_in_header("sequence"); }
  // A field holding a nested record of the given name.
  formats::WriteError record(std::string_view record_name) const { return container_in_header(record_name); }
  std::size_t names() const noexcept { return names_; }

 private:
  Writer* writer_;
  std::size_t names_ = 0;
};

// A CSV writer with its header state: the header row is written before the
// first record only, and only when the record has field names.
class RecordWriter {
 public:
  explicit RecordWriter(std::string& out, CsvWriterSettings settings = {})
      : writer_(out, settings), settings_(settings) {}

  // header(HeaderSink&) -> Status walks the field names; record(Writer&) ->
  // Status walks the values. A failing header walk writes no record.
  template <class Header, class Record>
  Status row(Header&& header, Record&& record);

 private:
  enum class HeaderState : uint8_t { ToWrite, Written, None };
  Writer writer_;
  CsvWriterSettings settings_;
  HeaderState state_ = HeaderState::ToWrite;
};

// One header row (when the value has field names) and one record row, from
// the two walks.
template <class Header, class Record>
Status write_walks(std::string& out, Header&& header, Record&& record) {
  RecordWriter w(out);
  return w.row(header, record);
}

// The walks of a record over its field table. Header: the key of each written
// field; a written list fails with the sequence message and a written nested
// record with its name. Record: the written values in table order, each list
// element a field of its own, nested records flattened by their own rules.
Status header_walk(HeaderSink& sink, const record::RecordDef& def, const void* record);
void record_walk(Writer& w, const record::RecordDef& def, const void* record);

// `try_to_csv`: the record's header row and record row appended to `out`.
std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
                                                const void* record);

template <class Header, class Record>
Status RecordWriter::row(Header&& header, Record&& record) {
  if (state_ == HeaderState::ToWrite && settings_.has_headers) {
    HeaderSink sink(writer_);
    if (Status st = header(sink)) return st;
    if (sink.names() > 0) {
      if (Status st = writer_.end_row()) return st;
      state_ = HeaderState::Written;
    } else {
      state_ = HeaderState::None;
    }
  }
  if (Status st = record(writer_)) return st;
  return writer_.end_row();
}

}  // namespace qv::csv
