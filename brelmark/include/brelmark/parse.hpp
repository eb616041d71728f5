#pragma once
// Parse results and errors of the configuration grammars.
//
// Every parser takes the text that remains and returns either the text that remains
// after it (the rest) together with a value, or a ParseError. Texts in values and
// errors are views into the parsed text: nothing is copied while parsing.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace brelmark {

// Why a parser did not match; printed under the enumerator's name.
enum class ParseErrorKind : std::uint8_t {
  Tag,            // a literal that does not match
  IsNot,          // a run of characters outside a set that matched nothing
  IsA,            // missing blanks after a keyword or a key
  MultiSpace,     // required white space that is missing
  SeparatedList,  // a separator that consumed nothing
  Many0,          // an item of an any-number repetition that consumed nothing
  Many1,          // an item of an at-least-one repetition that consumed nothing
  Char,           // a single expected character that is missing
  Digit,          // a missing run of digits, or a value that is not a 16-bit number
};

// The printed name of a kind ("Tag", "IsNot", ...).
std::string_view kind_name(ParseErrorKind kind) noexcept;

struct ParseError {
  enum class Type : std::uint8_t {
    Error,       // recoverable: an enclosing alternative or repetition may go on
    Failure,     // unrecoverable
    Incomplete,  // the text ended inside a streaming literal
  };

  Type type = Type::Error;
  ParseErrorKind kind = ParseErrorKind::Tag;  // Error and Failure only
  std::string_view input;                     // the text left at the failing step
  std::optional<std::size_t> needed;          // Incomplete only: characters missing, if known

  static ParseError error(ParseErrorKind kind, std::string_view input) noexcept {
    return {Type::Error, kind, input, std::nullopt};
  }
  static ParseError failure(ParseErrorKind kind, std::string_view input) noexcept {
    return {Type::Failure, kind, input, std::nullopt};
  }
  static ParseError incomplete(std::optional<std::size_t> needed) noexcept {
    return {Type::Incomplete, ParseErrorKind::Tag, {}, needed};
  }

  bool recoverable() const noexcept { return type == Type::Error; }

  // The text under which the error reaches the user:
  //   Parsing Error: Error { input: "<rest, escaped>", code: <Kind> }
  //   Parsing Failure: Error { input: "...", code: <Kind> }
  //   Parsing requires <n> bytes/chars      (Incomplete with a count)
  //   Parsing requires more data            (Incomplete without a count)
  std::string to_string() const;
};

// Success (the rest and the value) or a ParseError.
template <class T>
class [[nodiscard]] ParseResult {
 public:
  ParseResult(std::string_view rest, T value)
      : state_(std::in_place_index<0>, Success{rest, std::move(value)}) {}
  ParseResult(ParseError error) : state_(std::in_place_index<1>, error) {}  // NOLINT: implicit

  bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  std::string_view rest() const noexcept { return success().rest; }
  const T& value() const& noexcept { return success().value; }
  T& value() & noexcept { return success().value; }
  T&& value() && noexcept { return std::move(success().value); }

  const ParseError& error() const noexcept {
    assert(!ok());
    return *std::get_if<1>(&state_);
  }

 private:
  struct Success {
    std::string_view rest;
    T value;
  };
  const Success& success() const noexcept {
    assert(ok());
    return *std::get_if<0>(&state_);
  }
  Success& success() noexcept {
    assert(ok());
    return *std::get_if<0>(&state_);
  }

  std::variant<Success, ParseError> state_;
};

}  // namespace brelmark
