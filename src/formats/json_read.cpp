// JSON reading: the pull reader that fills records over their field tables,
// and the check of whole values. (Writing is in json_write.cpp.)
#include "formats/json.hpp"

#include <brelmark/scan.hpp>
#include <brelmark/unicode.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace qv::json {

namespace {

// Error texts of the reader.
constexpr std::string_view kEofValue = "EOF while parsing a value";
constexpr std::string_view kEofList = "EOF while parsing a list";
constexpr std::string_view kEofObject = "EOF while parsing an object";
constexpr std::string_view kEofString = "EOF while parsing a string";
constexpr std::string_view kExpectedColon = "expected `:`";
constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
constexpr std::string_view kExpectedIdent = "expected ident";
constexpr std::string_view kExpectedValue = "expected value";
constexpr std::string_view kInvalidEscape = "invalid escape";
constexpr std::string_view kInvalidNumber = "invalid number";
constexpr std::string_view kNumberOutOfRange = "number out of range";
constexpr std::string_view kInvalidCodePoint = "invalid unicode code point";
constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
constexpr std::string_view kKeyMustBeString = "key must be a string";
constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";
constexpr std::string_view kTrailingComma = "trailing comma";
constexpr std::string_view kTrailingCharacters = "trailing characters";
constexpr std::string_view kEndOfHexEscape = "unexpected end of hex escape";
constexpr std::string_view kRecursionLimit = "recursion limit exceeded";

// Records and field containers (lists, pairs) open at once: the 128th fails.
constexpr int kNestingAllowance = 128;

constexpr double kPow10[] = {
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,
    1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,
    1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40,  1e41,  1e42,  1e43,  1e44,
    1e45,  1e46,  1e47,  1e48,  1e49,  1e50,  1e51,  1e52,  1e53,  1e54,  1e55,  1e56,  1e57,  1e58,  1e59,
    1e60,  1e61,  1e62,  1e63,  1e64,  1e65,  1e66,  1e67,  1e68,  1e69,  1e70,  1e71,  1e72,  1e73,  1e74,
    1e75,  1e76,  1e77,  1e78,  1e79,  1e80,  1e81,  1e82,  1e83,  1e84,  1e85,  1e86,  1e87,  1e88,  1e89,
    1e90,  1e91,  1e92,  1e93,  1e94,  1e95,  1e96,  1e97,  1e98,  1e99,  1e100, 1e101, 1e102, 1e103, 1e104,
    1e105, 1e106, 1e107, 1e108, 1e109, 1e110, 1e111, 1e112, 1e113, 1e114, 1e115, 1e116, 1e117, 1e118, 1e119,
    1e120, 1e121, 1e122, 1e123, 1e124, 1e125, 1e126, 1e127, 1e128, 1e129, 1e130, 1e131, 1e132, 1e133, 1e134,
    1e135, 1e136, 1e137, 1e138, 1e139, 1e140, 1e141, 1e142, 1e143, 1e144, 1e145, 1e146, 1e147, 1e148, 1e149,
    1e150, 1e151, 1e152, 1e153, 1e154, 1e155, 1e156, 1e157, 1e158, 1e159, 1e160, 1e161, 1e162, 1e163, 1e164,
    1e165, 1e166, 1e167, 1e168, 1e169, 1e170, 1e171, 1e172, 1e173, 1e174, 1e175, 1e176, 1e177, 1e178, 1e179,
    1e180, 1e181, 1e182, 1e183, 1e184, 1e185, 1e186, 1e187, 1e188, 1e189, 1e190, 1e191, 1e192, 1e193, 1e194,
    1e195, 1e196, 1e197, 1e198, 1e199, 1e200, 1e201, 1e202, 1e203, 1e204, 1e205, 1e206, 1e207, 1e208, 1e209,
    1e210, 1e211, 1e212, 1e213, 1e214, 1e215, 1e216, 1e217, 1e218, 1e219, 1e220, 1e221, 1e222, 1e223, 1e224,
    1e225, 1e226, 1e227, 1e228, 1e229, 1e230, 1e231, 1e232, 1e233, 1e234, 1e235, 1e236, 1e237, 1e238, 1e239,
    1e240, 1e241, 1e242, 1e243, 1e244, 1e245, 1e246, 1e247, 1e248, 1e249, 1e250, 1e251, 1e252, 1e253, 1e254,
    1e255, 1e256, 1e257, 1e258, 1e259, 1e260, 1e261, 1e262, 1e263, 1e264, 1e265, 1e266, 1e267, 1e268, 1e269,
    1e270, 1e271, 1e272, 1e273, 1e274, 1e275, 1e276, 1e277, 1e278, 1e279, 1e280, 1e281, 1e282, 1e283, 1e284,
    1e285, 1e286, 1e287, 1e288, 1e289, 1e290, 1e291, 1e292, 1e293, 1e294, 1e295, 1e296, 1e297, 1e298, 1e299,
    1e300, 1e301, 1e302, 1e303, 1e304, 1e305, 1e306, 1e307, 1e308,
};

// A number as the tokenizer reads it.
struct Number {
  enum class Kind : std::uint8_t { Unsigned, Signed, Float } kind = Kind::Unsigned;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double f = 0;

  std::string describe() const {
    switch (kind) {
      case Kind::Unsigned: return record::unexpected_unsigned(u);
      case Kind::Signed: return record::unexpected_signed(i);
      case Kind::Float: return unexpected_float(f);
    }
    return {};
  }
};

int hex_value(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Index of the first byte of [p, end) that ends a plain run inside a string:
// quotation mark, backslash, a control character or a non-ASCII byte.
inline const char* scan_string(const char* p, const char* end) noexcept {
  return brelmark::find_first(
      p, end,
      [](auto v) {
        // Signed comparison: below 0x20 and from 0x80 up both compare less.
        return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                           _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                                              _mm_cmplt_epi8(v, _mm_set1_epi8(0x20))));
      },
      [](unsigned char c) { return c == '"' || c == '\\' || c < 0x20 || c >= 0x80; });
}

// The pull reader. Errors carry a byte position; messages formed by record
// rules carry none until the reader fixes them at the place it stopped.
class Reader {
 public:
  explicit Reader(std::string_view text) noexcept
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // --- error state --------------------------------------------------------

  std::string message() const {
    // Line and column of the error position: the column counts the bytes
    // since the last line feed before it.
    const char* at = begin_ + error_pos_;
    std::size_t line = 1;
    const char* line_start = begin_;
    for (const char* q = begin_; q < at; ++q) {
      if (*q == '\n') {
        ++line;
        line_start = q + 1;
      }
    }
    std::string s = error_;
    s += " at line ";
    s += std::to_string(line);
    s += " column ";
    s += std::to_string(static_cast<std::size_t>(at - line_start));
    return s;
  }

  // --- whole documents ----------------------------------------------------

  bool read_document(const RecordDef& def, void* record) {
    if (!read_record(def, record)) return false;
    return end_of_document();
  }

  bool validate_document() {
    if (!ignore_value()) return false;
    return end_of_document();
  }

 private:
  // --- errors -------------------------------------------------------------

  std::size_t index() const noexcept { return static_cast<std::size_t>(p_ - begin_); }
  std::size_t length() const noexcept { return static_cast<std::size_t>(end_ - begin_); }

  // The failures (and invalid_type below) are made out of line, away from
  // the reading paths that call them.

  // An error at the current position (after the last byte read).
  [[gnu::cold, gnu::noinline]] bool error(std::string_view msg) {
    error_.assign(msg);
    error_pos_ = index();
    positioned_ = true;
    return false;
  }
  // An error at the byte about to be read.
  [[gnu::cold, gnu::noinline]] bool peek_error(std::string_view msg) {
    error_.assign(msg);
    error_pos_ = std::min(index() + 1, length());
    positioned_ = true;
    return false;
  }
  // A message of the record rules, positioned later by fix_position.
  [[gnu::cold, gnu::noinline]] bool custom(std::string msg) {
    error_ = std::move(msg);
    positioned_ = false;
    return false;
  }
  void fix_position() noexcept {
    if (!positioned_) {
      error_pos_ = index();
      positioned_ = true;
    }
  }

  // --- bytes --------------------------------------------------------------

  int peek() const noexcept { return p_ < end_ ? static_cast<unsigned char>(*p_) : -1; }
  void eat() noexcept { ++p_; }
  int skip_white_space() noexcept {
    // Compact documents have none: every white-space byte is at most ' '.
    if (p_ < end_ && static_cast<unsigned char>(*p_) > ' ') return static_cast<unsigned char>(*p_);
    while (p_ < end_) {
      const char c = *p_;
      if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return static_cast<unsigned char>(c);
      ++p_;
    }
    return -1;
  }
  static bool is_digit(int c) noexcept { return c >= '0' && c <= '9'; }

  bool end_of_document() {
    if (skip_white_space() >= 0) return peek_error(kTrailingCharacters);
    return true;
  }

  bool parse_ident(const char* rest) {
    for (; *rest != '\0'; ++rest) {
      if (p_ == end_) return error(kEofValue);
      const char c = *p_++;
      if (c != *rest) return error(kExpectedIdent);
    }
    return true;
  }

  // --- strings ------------------------------------------------------------

  bool decode_hex_escape(std::uint32_t& n) {
    if (end_ - p_ < 4) {
      p_ = end_;
      return error(kEofString);
    }
    n = 0;
    for (int k = 0; k < 4; ++k) {
      const int h = hex_value(static_cast<unsigned char>(*p_++));
      if (h < 0) return error(kInvalidEscape);
      n = (n << 4) | static_cast<std::uint32_t>(h);
    }
    return true;
  }

  // After a backslash: one escape, decoded into scratch_ when `store`.
  // Surrogate escapes must pair up (a lone one is refused, also in values
  // that are only skipped).
  bool parse_escape(bool store) {
    if (p_ == end_) return error(kEofString);
    const char c = *p_++;
    char decoded;
    switch (c) {
      case '"': decoded = '"'; break;
      case '\\': decoded = '\\'; break;
      case '/': decoded = '/'; break;
      case 'b': decoded = '\b'; break;
      case 'f': decoded = '\f'; break;
      case 'n': decoded = '\n'; break;
      case 'r': decoded = '\r'; break;
      case 't': decoded = '\t'; break;
      case 'u': {
        std::uint32_t n = 0;
        if (!decode_hex_escape(n)) return false;
        if (n >= 0xDC00 && n <= 0xDFFF) return error(kLoneSurrogate);
        if (n >= 0xD800 && n <= 0xDBFF) {
          for (const char want : {'\\', 'u'}) {
            if (p_ == end_) return error(kEofString);
            if (*p_++ != want) return error(kEndOfHexEscape);
          }
          std::uint32_t n2 = 0;
          if (!decode_hex_escape(n2)) return false;
          if (n2 < 0xDC00 || n2 > 0xDFFF) return error(kLoneSurrogate);
          n = (((n - 0xD800) << 10) | (n2 - 0xDC00)) + 0x10000;
        }
        if (store) brelmark::append_utf8(scratch_, n);
        return true;
      }
      default: return error(kInvalidEscape);
    }
    if (store) scratch_ += decoded;
    return true;
  }

  // After the opening quotation mark: the string's text, a view into the
  // document or into scratch_ (valid until the next string is read). With
  // `store` false the string is only checked.
  bool parse_string(std::string_view& out, bool store) {
    const char* start = p_;
    bool copied = false;
    for (;;) {
      p_ = scan_string(p_, end_);
      if (p_ == end_) return error(kEofString);
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        if (store) {
          if (copied) {
            scratch_.append(start, p_);
            out = scratch_;
          } else {
            out = std::string_view(start, static_cast<std::size_t>(p_ - start));
          }
        }
        ++p_;
        return true;
      }
      if (c == '\\') {
        if (store) {
          if (!copied) {
            scratch_.clear();
            copied = true;
          }
          scratch_.append(start, p_);
        }
        ++p_;
        if (!parse_escape(store)) return false;
        start = p_;
        continue;
      }
      if (c >= 0x80) {
        const std::size_t n = brelmark::utf8_sequence_length(p_, end_);
        if (n == 0) {
          ++p_;
          return error(kInvalidCodePoint);
        }
        p_ += n;
        continue;
      }
      // A control character: the position is after it when the string is
      // read, before it when it is skipped.
      if (store) ++p_;
      return error(kControlCharacter);
    }
  }

  // --- numbers ------------------------------------------------------------

  static bool overflows(std::uint64_t a, int digit) noexcept {
    constexpr std::uint64_t kMax = UINT64_MAX;
    return a >= kMax / 10 && (a > kMax / 10 || static_cast<std::uint64_t>(digit) > kMax % 10);
  }

  bool f64_from_parts(bool positive, std::uint64_t significand, std::int64_t exponent, double& out) {
    double f = static_cast<double>(significand);
    for (;;) {
      const std::uint64_t mag = exponent < 0 ? static_cast<std::uint64_t>(-exponent) : static_cast<std::uint64_t>(exponent);
      if (mag < std::size(kPow10)) {
        if (exponent >= 0) {
          f *= kPow10[mag];
          if (std::isinf(f)) return error(kNumberOutOfRange);
        } else {
          f /= kPow10[mag];
        }
        break;
      }
      if (f == 0) break;
      if (exponent >= 0) return error(kNumberOutOfRange);
      f /= 1e308;
      exponent += 308;
    }
    out = positive ? f : -f;
    return true;
  }

  bool parse_exponent(bool positive, std::uint64_t significand, std::int64_t starting_exp, double& out) {
    eat();  // 'e' or 'E'
    bool positive_exp = true;
    if (peek() == '+') {
      eat();
    } else if (peek() == '-') {
      eat();
      positive_exp = false;
    }
    if (p_ == end_) return error(kEofValue);
    const int first = static_cast<unsigned char>(*p_++);
    if (!is_digit(first)) return error(kInvalidNumber);
    std::int64_t exp = first - '0';
    while (is_digit(peek())) {
      const int digit = peek() - '0';
      eat();
      if (exp >= INT32_MAX / 10 && (exp > INT32_MAX / 10 || digit > INT32_MAX % 10)) {
        // The exponent does not fit: the number is out of range, or zero.
        if (significand != 0 && positive_exp) return error(kNumberOutOfRange);
        while (is_digit(peek())) eat();
        out = positive ? 0.0 : -0.0;
        return true;
      }
      exp = exp * 10 + digit;
    }
    std::int64_t final_exp = positive_exp ? starting_exp + exp : starting_exp - exp;
    final_exp = std::clamp<std::int64_t>(final_exp, INT32_MIN, INT32_MAX);
    return f64_from_parts(positive, significand, final_exp, out);
  }

  bool parse_decimal(bool positive, std::uint64_t significand, std::int64_t exponent_before, double& out) {
    eat();  // '.'
    std::int64_t after_point = 0;
    while (is_digit(peek())) {
      const int digit = peek() - '0';
      if (overflows(significand, digit)) {
        // Further digits cannot change the value.
        while (is_digit(peek())) eat();
        const std::int64_t exponent = exponent_before + after_point;
        if (peek() == 'e' || peek() == 'E') return parse_exponent(positive, significand, exponent, out);
        return f64_from_parts(positive, significand, exponent, out);
      }
      eat();
      significand = significand * 10 + static_cast<std::uint64_t>(digit);
      --after_point;
    }
    if (after_point == 0) return peek_error(p_ == end_ ? kEofValue : kInvalidNumber);
    const std::int64_t exponent = exponent_before + after_point;
    if (peek() == 'e' || peek() == 'E') return parse_exponent(positive, significand, exponent, out);
    return f64_from_parts(positive, significand, exponent, out);
  }

  bool parse_number_tail(bool positive, std::uint64_t significand, Number& n) {
    const int c = peek();
    if (c == '.' || c == 'e' || c == 'E') {
      n.kind = Number::Kind::Float;
      return c == '.' ? parse_decimal(positive, significand, 0, n.f) : parse_exponent(positive, significand, 0, n.f);
    }
    if (positive) {
      n.kind = Number::Kind::Unsigned;
      n.u = significand;
    } else {
      const auto neg = static_cast<std::int64_t>(0 - significand);
      if (neg >= 0) {  // -0 and magnitudes beyond the signed range
        n.kind = Number::Kind::Float;
        n.f = -static_cast<double>(significand);
      } else {
        n.kind = Number::Kind::Signed;
        n.i = neg;
      }
    }
    return true;
  }

  // A number after its optional minus sign.
  bool parse_integer(bool positive, Number& n) {
    if (p_ == end_) return error(kEofValue);
    const int c = static_cast<unsigned char>(*p_++);
    if (c == '0') {
      if (is_digit(peek())) return peek_error(kInvalidNumber);
      return parse_number_tail(positive, 0, n);
    }
    if (c < '1' || c > '9') return error(kInvalidNumber);
    std::uint64_t significand = static_cast<std::uint64_t>(c - '0');
    while (is_digit(peek())) {
      const int digit = peek() - '0';
      if (overflows(significand, digit)) {
        // Too long for 64 bits: a floating-point number.
        std::int64_t exponent = 0;
        while (is_digit(peek())) {
          eat();
          ++exponent;
        }
        n.kind = Number::Kind::Float;
        if (peek() == '.') return parse_decimal(positive, significand, exponent, n.f);
        if (peek() == 'e' || peek() == 'E') return parse_exponent(positive, significand, exponent, n.f);
        return f64_from_parts(positive, significand, exponent, n.f);
      }
      eat();
      significand = significand * 10 + static_cast<std::uint64_t>(digit);
    }
    return parse_number_tail(positive, significand, n);
  }

  // --- values that are only checked ---------------------------------------

  bool ignore_integer() {
    const int c = p_ < end_ ? static_cast<unsigned char>(*p_++) : 0;
    if (c == '0') {
      if (is_digit(peek())) return peek_error(kInvalidNumber);
    } else if (c >= '1' && c <= '9') {
      while (is_digit(peek())) eat();
    } else {
      return error(kInvalidNumber);
    }
    if (peek() == '.') {
      eat();
      if (!is_digit(peek())) return peek_error(kInvalidNumber);
      while (is_digit(peek())) eat();
    }
    if (peek() == 'e' || peek() == 'E') {
      eat();
      if (peek() == '+' || peek() == '-') eat();
      const int d = p_ < end_ ? static_cast<unsigned char>(*p_++) : 0;
      if (!is_digit(d)) return error(kInvalidNumber);
      while (is_digit(peek())) eat();
    }
    return true;
  }

  // Checks one value of any kind and skips it, without recursion: the open
  // arrays and objects are kept on frames_. This does not use the nesting
  // allowance.
  bool ignore_value() {
    frames_.clear();
    for (;;) {
      // A value.
      const int c = skip_white_space();
      char opened = 0;
      switch (c) {
        case -1: return peek_error(kEofValue);
        case 'n': eat(); if (!parse_ident("ull")) return false; break;
        case 't': eat(); if (!parse_ident("rue")) return false; break;
        case 'f': eat(); if (!parse_ident("alse")) return false; break;
        case '-': eat(); if (!ignore_integer()) return false; break;
        case '"': {
          eat();
          std::string_view unused;
          if (!parse_string(unused, false)) return false;
          break;
        }
        case '[':
        case '{':
          eat();
          opened = static_cast<char>(c);
          break;
        default:
          if (is_digit(c)) {
            if (!ignore_integer()) return false;
            break;
          }
          return peek_error(kExpectedValue);
      }

      // What follows it: closing brackets, then a comma or the end.
      char frame;
      bool accept_comma;
      if (opened != 0) {
        frame = opened;
        accept_comma = false;
      } else {
        if (frames_.empty()) return true;
        frame = frames_.back();
        frames_.pop_back();
        accept_comma = true;
      }
      for (;;) {
        const int d = skip_white_space();
        if (d == ',' && accept_comma) {
          eat();
          break;
        }
        if ((d == ']' && frame == '[') || (d == '}' && frame == '{')) {
          eat();
          if (frames_.empty()) return true;
          frame = frames_.back();
          frames_.pop_back();
          accept_comma = true;
          continue;
        }
        if (d < 0) return peek_error(frame == '[' ? kEofList : kEofObject);
        if (accept_comma) return peek_error(frame == '[' ? kExpectedListCommaOrEnd : kExpectedObjectCommaOrEnd);
        break;
      }
      if (frame == '{') {
        const int k = skip_white_space();
        if (k < 0) return peek_error(kEofObject);
        if (k != '"') return peek_error(kKeyMustBeString);
        eat();
        std::string_view unused;
        if (!parse_string(unused, false)) return false;
        const int colon = skip_white_space();
        if (colon < 0) return peek_error(kEofObject);
        if (colon != ':') return peek_error(kExpectedColon);
        eat();
      }
      frames_.push_back(frame);
    }
  }

  // --- type errors --------------------------------------------------------

  // The value at the current position is not of the kind expected: reads it
  // (a scalar fully, a container only its first byte) to describe it.
  [[gnu::cold, gnu::noinline]] bool invalid_type(std::string_view expected) {
    std::string found;
    const int c = peek();
    switch (c) {
      case 'n': eat(); if (!parse_ident("ull")) return false; found = "null"; break;
      case 't': eat(); if (!parse_ident("rue")) return false; found = record::unexpected_bool(true); break;
      case 'f': eat(); if (!parse_ident("alse")) return false; found = record::unexpected_bool(false); break;
      case '"': {
        eat();
        std::string_view s;
        if (!parse_string(s, true)) return false;
        found = record::unexpected_str(s);
        break;
      }
      case '[': found = record::kUnexpectedSeq; break;
      case '{': found = record::kUnexpectedMap; break;
      default: {
        if (c != '-' && !is_digit(c)) return peek_error(kExpectedValue);
        const bool positive = c != '-';
        if (!positive) eat();
        Number n;
        if (!parse_integer(positive, n)) return false;
        found = n.describe();
      }
    }
    custom(record::invalid_type(found, expected));
    fix_position();
    return false;
  }

  // --- containers ---------------------------------------------------------

  enum class Next : std::uint8_t { Element, End, Error };

  // Before an element of an array: a comma unless it is the first; End at "]".
  Next next_element(bool& first) {
    int c = skip_white_space();
    if (c == ']') return Next::End;
    if (c == ',' && !first) {
      eat();
      c = skip_white_space();
    } else if (c >= 0) {
      if (!first) {
        peek_error(kExpectedListCommaOrEnd);
        return Next::Error;
      }
      first = false;
    } else {
      peek_error(kEofList);
      return Next::Error;
    }
    if (c == ']') {
      peek_error(kTrailingComma);
      return Next::Error;
    }
    if (c < 0) {
      peek_error(kEofValue);
      return Next::Error;
    }
    return Next::Element;
  }

  // After the last element that was read: the closing bracket. After a
  // failed element (`quiet`) it is still consumed when it stands there, so
  // that a record message points at it, but a mismatch is not reported.
  bool end_seq(bool quiet) {
    const int c = skip_white_space();
    if (c == ']') {
      eat();
      return true;
    }
    std::string_view msg = c < 0 ? kEofList : kTrailingCharacters;
    if (c == ',') {
      eat();
      if (skip_white_space() == ']') msg = kTrailingComma;
    }
    return quiet ? false : peek_error(msg);
  }

  bool end_map(bool quiet) {
    const int c = skip_white_space();
    if (c == '}') {
      eat();
      return true;
    }
    if (quiet) return false;
    if (c == ',') return peek_error(kTrailingComma);
    return peek_error(c < 0 ? kEofObject : kTrailingCharacters);
  }

  // One level of the nesting allowance, taken before the opening bracket.
  bool enter() {
    if (--depth_ == 0) return peek_error(kRecursionLimit);
    eat();
    return true;
  }

  // An array read by `visit` (which reads the elements), then its "]".
  template <class Visit>
  bool read_array(std::string_view expected, Visit&& visit) {
    const int c = skip_white_space();
    if (c < 0) return peek_error(kEofValue);
    if (c != '[') return invalid_type(expected);
    if (!enter()) return false;
    const bool ok = visit();
    ++depth_;
    const bool closed = end_seq(!ok);
    if (!ok || !closed) {
      fix_position();
      return false;
    }
    return true;
  }

  // A list: every element read by `element`.
  template <class Element>
  bool read_list(Element&& element) {
    return read_array(record::kExpectSequence, [&] {
      bool first = true;
      for (;;) {
        switch (next_element(first)) {
          case Next::End: return true;
          case Next::Error: return false;
          case Next::Element:
            if (!element()) return false;
        }
      }
    });
  }

  // A text value as a view, as parse_string gives it.
  bool read_text_view(std::string_view& s) {
    const int c = skip_white_space();
    if (c < 0) return peek_error(kEofValue);
    if (c != '"') return invalid_type(record::kExpectString);
    eat();
    // Most texts are plain ASCII: the first stop of the scan closes them.
    const char* const close = scan_string(p_, end_);
    if (close != end_ && *close == '"') {
      s = std::string_view(p_, static_cast<std::size_t>(close - p_));
      p_ = close + 1;
      return true;
    }
    return parse_string(s, true);
  }

  bool read_text(Text& out) {
    std::string_view s;
    if (!read_text_view(s)) return false;
    out.assign(s);
    return true;
  }

  bool read_optional_text(std::optional<Text>& out) {
    if (skip_white_space() == 'n') {
      eat();
      if (!parse_ident("ull")) return false;
      out.reset();
      return true;
    }
    return read_text(out.emplace());
  }

  bool read_bool(bool& out) {
    const int c = skip_white_space();
    if (c < 0) return peek_error(kEofValue);
    if (c == 't') {
      eat();
      if (!parse_ident("rue")) return false;
      out = true;
      return true;
    }
    if (c == 'f') {
      eat();
      if (!parse_ident("alse")) return false;
      out = false;
      return true;
    }
    return invalid_type(record::kExpectBool);
  }

  bool read_u16(std::uint16_t& out) {
    const int c = skip_white_space();
    if (c < 0) return peek_error(kEofValue);
    if (c != '-' && !is_digit(c)) return invalid_type(record::kExpectU16);
    const bool positive = c != '-';
    if (!positive) eat();
    Number n;
    if (!parse_integer(positive, n)) return false;
    switch (n.kind) {
      case Number::Kind::Unsigned:
        if (n.u <= UINT16_MAX) {
          out = static_cast<std::uint16_t>(n.u);
          return true;
        }
        custom(record::invalid_value(n.describe(), record::kExpectU16));
        break;
      case Number::Kind::Signed: custom(record::invalid_value(n.describe(), record::kExpectU16)); break;
      case Number::Kind::Float: custom(record::invalid_type(n.describe(), record::kExpectU16)); break;
    }
    fix_position();
    return false;
  }

  // The texts are gathered as slices first, so that the list is allocated
  // once at its length.
  bool read_text_list(TextList& out) {
    out.clear();
    list_slices_.clear();
    list_copies_.clear();
    const bool ok = read_list([&] {
      std::string_view s;
      if (!read_text_view(s)) return false;
      if (s.data() == scratch_.data()) {
        list_slices_.push_back({list_copies_.size(), s.size(), true});
        list_copies_.append(s);
      } else {
        list_slices_.push_back({static_cast<std::size_t>(s.data() - begin_), s.size(), false});
      }
      return true;
    });
    if (!ok) return false;
    out.reserve(list_slices_.size());
    for (const TextSlice& t : list_slices_) {
      out.emplace_back((t.copied ? list_copies_.data() : begin_) + t.at, t.size);
    }
    return true;
  }

  // A policy: an array of exactly a text and a list of texts.
  bool read_pair(TextPair& out) {
    return read_array(record::kExpectPair, [&] {
      bool first = true;
      for (int k = 0; k < 2; ++k) {
        switch (next_element(first)) {
          case Next::Error: return false;
          case Next::End: return custom(record::invalid_length(static_cast<std::size_t>(k), record::kExpectPair));
          case Next::Element:
            if (!(k == 0 ? read_text(out.first) : read_text_list(out.second))) return false;
        }
      }
      return true;
    });
  }

  bool read_field(const FieldDef& f, void* v) {
    switch (f.kind) {
      case FieldKind::Text: return read_text(value_as<Text>(v));
      case FieldKind::OptionalText: return read_optional_text(value_as<std::optional<Text>>(v));
      case FieldKind::U16: return read_u16(value_as<std::uint16_t>(v));
      case FieldKind::Bool: return read_bool(value_as<bool>(v));
      case FieldKind::TextList: return read_text_list(value_as<TextList>(v));
      case FieldKind::PairList: {
        auto& list = value_as<PairList>(v);
        list.clear();
        return read_list([&] { return read_pair(list.emplace_back()); });
      }
      case FieldKind::Record: return read_record(f.nested(), v);
      case FieldKind::RecordList: {
        const RecordDef& def = f.nested();
        const record::RecordListOps& ops = *f.list;
        ops.clear(v);
        const char* const start = p_;
        return read_list([&] {
          if (ops.size(v) == ops.capacity(v)) grow_record_list(ops, v, start);
          return read_record(def, ops.append(v));
        });
      }
    }
    return false;
  }

  // A full list of records whose text began at `start`, before its next
  // element. Records are costly to move, and doubling moves each about once
  // more: a list that already spans a 32nd of what is left of the document
  // (a long list usually runs to near its end) grows at once to the length
  // that the rest would give at its bytes per element so far, and at least
  // doubles; its room is then at most about 35 times the records read so far.
  // Other lists double.
  void grow_record_list(const record::RecordListOps& ops, void* list, const char* start) {
    constexpr std::size_t kFew = 8;
    const std::size_t n = ops.size(list);
    const auto taken = static_cast<std::size_t>(p_ - start);
    const auto left = static_cast<std::size_t>(end_ - p_);
    if (n < kFew || taken < left / 32) return;
    const std::size_t projected = n + left / std::max<std::size_t>(taken / n, 1);
    ops.reserve(list, std::max(2 * n, projected + projected / 16));
  }

  // --- records ------------------------------------------------------------

  // True when the text at the cursor is `key` and a closing quotation mark.
  bool at_key(std::string_view key) const noexcept {
    return static_cast<std::size_t>(end_ - p_) > key.size() && p_[key.size()] == '"' &&
           record::detail::same_bytes(p_, key.data(), key.size());
  }

  // The field whose key stands at the cursor as it is, without escapes,
  // searched from the one that follows in table order; -1 when there is none
  // (the key is then read as a string and looked up).
  int key_in_place(const record::RecordReader& rr) const noexcept {
    const std::span<const FieldDef> fields = rr.def().fields;
    std::size_t i = rr.next_hint();
    for (std::size_t k = 0; k < fields.size(); ++k, ++i) {
      if (i == fields.size()) i = 0;
      if (fields[i].key_plain && at_key(fields[i].key)) return static_cast<int>(i);
    }
    return -1;
  }

  bool read_keyed(record::RecordReader& rr) {
    bool first = true;
    for (;;) {
      if (!first && end_ - p_ >= 2 && p_[0] == ',' && p_[1] == '"') {
        p_ += 2;  // compact text: the comma and the opening quotation mark of the next key
      } else {
        int c = skip_white_space();
        if (c == '}') break;
        if (c == ',' && !first) {
          eat();
          c = skip_white_space();
        } else if (c >= 0) {
          if (!first) return peek_error(kExpectedObjectCommaOrEnd);
          first = false;
        } else {
          return peek_error(kEofObject);
        }
        if (c != '"') {
          if (c == '}') return peek_error(kTrailingComma);
          return peek_error(c < 0 ? kEofValue : kKeyMustBeString);
        }
        eat();
      }
      std::string_view key;
      int i = key_in_place(rr);
      if (i >= 0) {
        key = rr.field(i).key;
        p_ += key.size() + 1;
        i = rr.lookup_index(static_cast<std::size_t>(i));
      } else {
        if (!parse_string(key, true)) return false;
        i = rr.lookup(key);
      }
      if (i == record::RecordReader::kDuplicate) return custom(record::duplicate_field(key));
      if (p_ == end_ || *p_ != ':') {  // compact text has the colon right after the key
        const int colon = skip_white_space();
        if (colon != ':') return peek_error(colon < 0 ? kEofObject : kExpectedColon);
      }
      eat();
      if (i == record::RecordReader::kUnknown) {
        if (!ignore_value()) return false;
        continue;
      }
      // Plain texts, the most common fields, skip the dispatch on the kind.
      const FieldDef& f = rr.field(i);
      void* const v = rr.value(i);
      if (!(f.kind == FieldKind::Text ? read_text(value_as<Text>(v)) : read_field(f, v))) return false;
      rr.mark_set(i);
    }
    std::string msg;
    if (!rr.finish_keyed(msg)) return custom(std::move(msg));
    return true;
  }

  bool read_positional(record::RecordReader& rr) {
    const std::size_t n = rr.def().fields.size();
    bool first = true;
    std::size_t count = 0;
    for (; count < n; ++count) {
      const Next next = next_element(first);
      if (next == Next::Error) return false;
      if (next == Next::End) break;
      const int i = static_cast<int>(count);
      if (!read_field(rr.field(i), rr.value(i))) return false;
    }
    std::string msg;
    if (!rr.finish_positional(count, msg)) return custom(std::move(msg));
    return true;
  }

  // A record: an object keyed by its fields' keys, or an array of its fields
  // in table order.
  bool read_record(const RecordDef& def, void* record) {
    const int c = skip_white_space();
    if (c < 0) return peek_error(kEofValue);
    if (c != '{' && c != '[') return invalid_type(def.expecting());
    if (!enter()) return false;
    record::RecordReader rr(def, record);
    const bool ok = c == '{' ? read_keyed(rr) : read_positional(rr);
    ++depth_;
    const bool closed = c == '{' ? end_map(!ok) : end_seq(!ok);
    if (!ok || !closed) {
      fix_position();
      return false;
    }
    return true;
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  int depth_ = kNestingAllowance;
  std::string scratch_;
  std::vector<char> frames_;

  // A text of the list being read: `size` bytes at `at` in the document, or
  // in list_copies_ when it held escapes.
  struct TextSlice {
    std::size_t at;
    std::size_t size;
    bool copied;
  };
  std::vector<TextSlice> list_slices_;
  std::string list_copies_;

  std::string error_;
  std::size_t error_pos_ = 0;
  bool positioned_ = false;
};

}  // namespace

bool read_record(std::string_view text, const RecordDef& def, void* record, std::string& error) {
  record::TextArena arena(text.size());  // a large document's records are carved from it
  Reader reader(text);
  if (reader.read_document(def, record)) return true;
  error = reader.message();
  return false;
}

bool validate(std::string_view text, std::string& error) {
  Reader reader(text);
  if (reader.validate_document()) return true;
  error = reader.message();
  return false;
}

}  // namespace qv::json
