#include "record/record.hpp"

#include <brelmark/unicode.hpp>

#include <charconv>
#include <cmath>

namespace qv::record {

std::string RecordDef::expecting() const {
  std::string s = "struct ";
  s += name;
  return s;
}

std::string RecordDef::expecting_positional() const {
  std::string s = expecting();
  s += " with ";
  s += std::to_string(fields.size());
  s += " elements";
  return s;
}

// ---------------------------------------------------------------------------
// Written-when tests.

bool equals_keyword(std::string_view text, std::string_view keyword) noexcept {
  const std::string_view t = brelmark::trim_white_space(text);
  if (t.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    char a = t[i];
    char b = keyword[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

namespace {

bool is_empty_value(const FieldDef& f, const void* v) noexcept {
  switch (f.kind) {
    case FieldKind::Text: return value_as<Text>(v).empty();
    case FieldKind::OptionalText: return !value_as<std::optional<Text>>(v).has_value();
    case FieldKind::U16: return value_as<std::uint16_t>(v) == 0;
    case FieldKind::Bool: return !value_as<bool>(v);
    case FieldKind::TextList: return value_as<TextList>(v).empty();
    case FieldKind::PairList: return value_as<PairList>(v).empty();
    case FieldKind::RecordList: return f.list->size(v) == 0;
    case FieldKind::Record: return false;
  }
  return false;
}

// The text a text test looks at: the text itself or an optional text's value.
const Text* text_of(const FieldDef& f, const void* v) noexcept {
  if (f.kind == FieldKind::Text) return &value_as<Text>(v);
  if (f.kind == FieldKind::OptionalText) {
    const auto& o = value_as<std::optional<Text>>(v);
    return o ? &*o : nullptr;
  }
  return nullptr;
}

}  // namespace

bool is_written(const FieldDef& f, const void* v) noexcept {
  switch (f.written) {
    case WrittenWhen::Always: return true;
    case WrittenWhen::NotEmpty:
    case WrittenWhen::Set:
    case WrittenWhen::True:
    case WrittenWhen::NotZero: return !is_empty_value(f, v);
    case WrittenWhen::NotOne: return value_as<std::uint16_t>(v) != 1;
    case WrittenWhen::NotBlank: {
      const Text* t = text_of(f, v);
      return t != nullptr && !brelmark::is_blank(*t);
    }
    case WrittenWhen::NotKeyword:
    case WrittenWhen::NotBlankNorKeyword: {
      const Text* t = text_of(f, v);
      if (t == nullptr) return false;
      if (f.written == WrittenWhen::NotBlankNorKeyword && brelmark::is_blank(*t)) return false;
      return !equals_keyword(*t, f.keyword);
    }
    case WrittenWhen::Custom: return f.predicate(v);
  }
  return true;
}

std::size_t count_written(const RecordDef& def, const void* record) noexcept {
  std::size_t n = 0;
  for (const FieldDef& f : def.fields) n += is_written(f, f.in(record)) ? 1 : 0;
  return n;
}

// ---------------------------------------------------------------------------
// Messages.

std::string expected_text(const FieldDef& f) {
  switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::OptionalText: return std::string(kExpectString);
    case FieldKind::U16: return std::string(kExpectU16);
    case FieldKind::Bool: return std::string(kExpectBool);
    case FieldKind::TextList:
    case FieldKind::RecordList:
    case FieldKind::PairList: return std::string(kExpectSequence);
    case FieldKind::Record: return f.nested().expecting();
  }
  return {};
}

namespace {

std::string concat(std::initializer_list<std::string_view> parts) {
  std::size_t n = 0;
  for (auto p : parts) n += p.size();
  std::string s;
  s.reserve(n);
  for (auto p : parts) s += p;
  return s;
}

}  // namespace

std::string missing_field(std::string_view key) { return concat({"missing field `", key, "`"}); }

std::string duplicate_field(std::string_view key) { return concat({"duplicate field `", key, "`"}); }

std::string invalid_length(std::size_t length, std::string_view expected) {
  return concat({"invalid length ", std::to_string(length), ", expected ", expected});
}

std::string invalid_type(std::string_view unexpected, std::string_view expected) {
  return concat({"invalid type: ", unexpected, ", expected ", expected});
}

std::string invalid_value(std::string_view unexpected, std::string_view expected) {
  return concat({"invalid value: ", unexpected, ", expected ", expected});
}

std::string unexpected_bool(bool b) { return b ? "boolean `true`" : "boolean `false`"; }

std::string unexpected_unsigned(std::uint64_t n) { return concat({"integer `", std::to_string(n), "`"}); }

std::string unexpected_signed(std::int64_t n) { return concat({"integer `", std::to_string(n), "`"}); }

ShortestDecimal shortest_decimal(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
  ShortestDecimal out;
  if (!sci.empty() && sci.front() == '-') {
    out.negative = true;
    sci.remove_prefix(1);
  }
  const std::size_t e = sci.find('e');
  for (char c : sci.substr(0, e)) {
    if (c != '.') out.digits += c;
  }
  int exp = 0;
  std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exp);
  out.point = exp + 1;
  return out;
}

std::string unexpected_float(double d) {
  // The shortest digits that read back as `d`, written without an exponent,
  // with ".0" added when there is no decimal point.
  std::string num;
  if (std::isnan(d)) {
    num = "NaN";
  } else if (std::isinf(d)) {
    num = d < 0 ? "-inf" : "inf";
  } else {
    const auto [neg, digits, point] = shortest_decimal(d);
    if (neg) num += '-';
    const int n = static_cast<int>(digits.size());
    if (point <= 0) {
      num += "0.";
      num.append(static_cast<std::size_t>(-point), '0');
      num += digits;
    } else if (point >= n) {
      num += digits;
      num.append(static_cast<std::size_t>(point - n), '0');
      num += ".0";
    } else {
      num.append(digits, 0, static_cast<std::size_t>(point));
      num += '.';
      num.append(digits, static_cast<std::size_t>(point));
    }
    if (digits == "0") num = neg ? "-0.0" : "0.0";
  }
  return concat({"floating point `", num, "`"});
}

std::string unexpected_str(std::string_view text) {
  std::string s = "string ";
  brelmark::append_debug_quoted(s, text);
  return s;
}

// ---------------------------------------------------------------------------
// Absent values.

void set_absent(const FieldDef& f, void* v) {
  switch (f.kind) {
    case FieldKind::Text: value_as<Text>(v).assign(f.absent_text); break;
    case FieldKind::OptionalText: value_as<std::optional<Text>>(v).reset(); break;
    case FieldKind::U16: value_as<std::uint16_t>(v) = f.absent_number; break;
    case FieldKind::Bool: value_as<bool>(v) = false; break;
    case FieldKind::TextList: value_as<TextList>(v).clear(); break;
    case FieldKind::PairList: value_as<PairList>(v).clear(); break;
    case FieldKind::RecordList: f.list->clear(v); break;
    case FieldKind::Record:
      if (f.absent_record != nullptr) {
        f.absent_record(v);
      } else {
        set_record_absent(f.nested(), v);
      }
      break;
  }
}

void set_record_absent(const RecordDef& def, void* record) {
  for (const FieldDef& f : def.fields) set_absent(f, f.in(record));
}

// ---------------------------------------------------------------------------
// Reading.

bool RecordReader::finish_keyed(std::string& error) {
  const std::size_t n = def_->fields.size();
  if ((seen_ & def_->required_mask) != def_->required_mask) {
    for (std::size_t i = 0; i < n; ++i) {
      if (!is_set(static_cast<int>(i)) && def_->fields[i].is_required) {
        error = missing_field(def_->fields[i].key);
        return false;
      }
    }
  }
  const std::uint64_t all = n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
  for (std::uint64_t unset = all & ~seen_; unset != 0; unset &= unset - 1) {
    const FieldDef& f = def_->fields[static_cast<std::size_t>(__builtin_ctzll(unset))];
    set_absent(f, f.in(record_));
  }
  return true;
}

bool RecordReader::finish_positional(std::size_t count, std::string& error) {
  const std::size_t n = def_->fields.size();
  for (std::size_t i = count; i < n; ++i) {
    const FieldDef& f = def_->fields[i];
    if (f.is_required) {
      error = invalid_length(i, def_->expecting_positional());
      return false;
    }
    set_absent(f, f.in(record_));
  }
  return true;
}

}  // namespace qv::record
