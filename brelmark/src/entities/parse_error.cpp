#include "brelmark/parse.hpp"

#include "brelmark/unicode.hpp"

namespace brelmark {

std::string_view kind_name(ParseErrorKind kind) noexcept {
  switch (kind) {
    case ParseErrorKind::Tag: return "Tag";
    case ParseErrorKind::IsNot: return "IsNot";
    case ParseErrorKind::IsA: return "IsA";
    case ParseErrorKind::MultiSpace: return "MultiSpace";
    case ParseErrorKind::SeparatedList: return "SeparatedList";
    case ParseErrorKind::Many0: return "Many0";
    case ParseErrorKind::Many1: return "Many1";
    case ParseErrorKind::Char: return "Char";
    case ParseErrorKind::Digit: return "Digit";
  }
  return "Tag";
}

std::string ParseError::to_string() const {
  std::string out;
  switch (type) {
    case Type::Incomplete:
      if (!needed) return "Parsing requires more data";
      return "Parsing requires " + std::to_string(*needed) + " bytes/chars";
    case Type::Error: out = "Parsing Error: "; break;
    case Type::Failure: out = "Parsing Failure: "; break;
  }
  out.reserve(out.size() + input.size() + 40);
  out += "Error { input: ";
  append_debug_quoted(out, input);
  out += ", code: ";
  out += kind_name(kind);
  out += " }";
  return out;
}

}  // namespace brelmark
