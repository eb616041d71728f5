#pragma once
// What every document format gives over the record tables (record/record.hpp): a reader and a
// writer of one shape each, one error type for writing, and the typed calls over them.
//
// Each format's namespace (json, yaml, toml; csv writes only) declares
//
//   bool read_record(std::string_view text, const record::RecordDef& def, void* record,
//                    std::string& error);
//     reads the whole text as one record of `def` into `record` (a value of the record's type;
//     every field is overwritten); on failure returns false with the message in `error`, and
//     `record` is left partly filled;
//
//   std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
//                                                   const void* record);
//     appends the record's document to `out`, or returns the error that stopped it.
//
// A typed record goes through them with `read` and `write`:
//
//   formats::ReadResult<Pool> pool = formats::read<Pool>(json::read_record, text);
//   formats::WriteResult text = formats::write(toml::write_record, pool.value());
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "record/record.hpp"

namespace qv::formats {

// A writer's failure: the message a caller reports (CSV's refusals reach Python as ValueError
// with it), and the error's debug form, which a fault of the module reports (the other writers
// cannot fail for the module's records).
struct WriteError {
  std::string message;
  std::string debug;

  // An error whose debug form is its message.
  static WriteError of(std::string message) {
    std::string debug = message;
    return WriteError{std::move(message), std::move(debug)};
  }
};

// The reader and the writer of a format.
using ReadRecord = bool (*)(std::string_view text, const record::RecordDef& def, void* record, std::string& error);
using WriteRecord = std::optional<WriteError> (*)(std::string& out, const record::RecordDef& def, const void* record);

// A value, or the error that stopped making it.
template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

  bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }
  const T& value() const& { return *std::get_if<0>(&state_); }
  T& value() & { return *std::get_if<0>(&state_); }
  T&& value() && { return std::move(*std::get_if<0>(&state_)); }
  const E& error() const { return *std::get_if<1>(&state_); }

 private:
  Result(std::in_place_index_t<1> tag, E error) : state_(tag, std::move(error)) {}
  std::variant<T, E> state_;
};

// A record read from a whole document, or the reader's message.
template <class T>
using ReadResult = Result<T, std::string>;
// A record's document, or the writer's error.
using WriteResult = Result<std::string, WriteError>;

// Reads the whole text as a record of type T with a format's reader.
template <class T>
ReadResult<T> read(ReadRecord read_record, std::string_view text) {
  T value{};
  std::string error;
  if (!read_record(text, record::record_def<T>, &value, error)) return ReadResult<T>::failure(std::move(error));
  return value;
}

// The record's document from a format's writer.
template <class T>
WriteResult write(WriteRecord write_record, const T& value) {
  std::string out;
  if (std::optional<WriteError> error = write_record(out, record::record_def<T>, &value)) {
    return WriteResult::failure(std::move(*error));
  }
  return out;
}

}  // namespace qv::formats
