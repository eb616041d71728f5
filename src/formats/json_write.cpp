// JSON writing: records straight from their field tables and escaped strings,
// as compact text. (Reading is in json_read.cpp.)
#include "formats/json.hpp"

#include <brelmark/at_once.hpp>
#include <brelmark/memory.hpp>
#include <brelmark/scan.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

namespace qv::json {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes that a JSON string cannot hold as they are.
constexpr bool needs_escape(unsigned char c) noexcept { return c < 0x20 || c == '"' || c == '\\'; }

// Index of the first byte of [p, end) that needs an escape, or end - p.
inline std::size_t plain_run(const char* p, const char* end) noexcept {
  const char* stop = brelmark::find_first(
      p, end,
      [](auto v) {
        const auto control = _mm_cmpeq_epi8(_mm_subs_epu8(v, _mm_set1_epi8(0x1f)), _mm_setzero_si128());
        return _mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))), control));
      },
      needs_escape);
  return static_cast<std::size_t>(stop - p);
}

// Appends to a std::string through a raw cursor: the string is sized ahead of
// the cursor while writing and cut to what was written at the end. Sizing
// fills the bytes it adds, so a large capacity is taken a stretch at a time
// as it is used, not filled at once.
class Out {
 public:
  explicit Out(std::string& s) : s_(s) { claim(s.size(), 256); }
  ~Out() { s_.resize(static_cast<std::size_t>(p_ - s_.data())); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  void ensure(std::size_t n) {
    if (static_cast<std::size_t>(end_ - p_) < n) grow(n);
  }
  void put(char c) {
    ensure(1);
    *p_++ = c;
  }
  void put(const char* d, std::size_t n) {
    ensure(n);
    std::memcpy(p_, d, n);
    p_ += n;
  }
  void put(std::string_view v) { put(v.data(), v.size()); }
  void put_u64(std::uint64_t n) {
    ensure(20);
    p_ = std::to_chars(p_, end_, n).ptr;
  }

  void escaped(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    ensure(text.size() + 2);
    *p_++ = '"';
    while (p < end) {
      const std::size_t run = plain_run(p, end);
      std::memcpy(p_, p, run);
      p_ += run;
      p += run;
      if (p == end) break;
      escape(static_cast<unsigned char>(*p++));
      ensure(static_cast<std::size_t>(end - p) + 1);
    }
    *p_++ = '"';
  }

  void key(const FieldDef& f) {
    if (f.key_plain) {
      ensure(f.key.size() + 3);
      *p_++ = '"';
      std::memcpy(p_, f.key.data(), f.key.size());
      p_ += f.key.size();
      *p_++ = '"';
      *p_++ = ':';
    } else {
      escaped(f.key);
      put(':');
    }
  }

 private:
  static constexpr std::size_t kStretch = 64 * 1024;

  void grow(std::size_t n) { claim(static_cast<std::size_t>(p_ - s_.data()), n); }

  // Room for at least `n` bytes after the first `used`: from the capacity,
  // which doubles when it is short.
  void claim(std::size_t used, std::size_t n) {
    brelmark::grow_preferring_huge_pages(s_, used + n);
    s_.resize(std::min(s_.capacity(), used + std::max(n, kStretch)));
    p_ = s_.data() + used;
    end_ = s_.data() + s_.size();
  }

  // Room for the escape and the closing quotation mark.
  void escape(unsigned char c) {
    ensure(7);
    *p_++ = '\\';
    switch (c) {
      case '"': *p_++ = '"'; break;
      case '\\': *p_++ = '\\'; break;
      case '\b': *p_++ = 'b'; break;
      case '\f': *p_++ = 'f'; break;
      case '\n': *p_++ = 'n'; break;
      case '\r': *p_++ = 'r'; break;
      case '\t': *p_++ = 't'; break;
      default:
        *p_++ = 'u';
        *p_++ = '0';
        *p_++ = '0';
        *p_++ = kHex[c >> 4];
        *p_++ = kHex[c & 0xf];
    }
  }

  std::string& s_;
  char* p_;
  char* end_;
};

void write_text_list(Out& out, const TextList& list) {
  out.put('[');
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out.put(',');
    out.escaped(list[i]);
  }
  out.put(']');
}

void write_record_to(Out& out, const RecordDef& def, const void* record);

// ---- Long lists of records, written in pieces at the same time -----------------------
//
// A list of many records (the lists of a whole configuration) is cut into runs of
// elements, each written into a text of its own on a thread of its own, and the texts
// are joined in order: the same text as written in one go. Lists inside those elements
// are written on their thread.

constexpr std::size_t kPieceRecords = 512;  // elements per piece, at least
thread_local bool t_in_piece = false;

std::size_t list_pieces(std::size_t count) noexcept {
  if (count < 2 * kPieceRecords || t_in_piece) return 1;
  return std::min(brelmark::worker_count(), count / kPieceRecords);
}

// Elements [from, to) of the list, comma-separated.
void write_elements(Out& out, const RecordDef& def, const record::RecordListOps& ops, const void* list,
                    std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (i != from) out.put(',');
    write_record_to(out, def, ops.at(list, i));
  }
}

void write_elements_in_pieces(Out& out, const RecordDef& def, const record::RecordListOps& ops, const void* list,
                              std::size_t count, std::size_t pieces) {
  std::vector<std::string> texts(pieces);
  std::vector<std::exception_ptr> errors(pieces);
  auto run = [&](std::size_t k) {
    try {
      t_in_piece = true;
      Out piece(texts[k]);
      write_elements(piece, def, ops, list, count * k / pieces, count * (k + 1) / pieces);
    } catch (...) {
      errors[k] = std::current_exception();
    }
    t_in_piece = false;
  };
  brelmark::run_at_once(pieces, run);
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
  for (std::size_t k = 0; k < pieces; ++k) {
    if (k != 0) out.put(',');
    out.put(texts[k]);
    std::string().swap(texts[k]);
  }
}

void write_field_value(Out& out, const FieldDef& f, const void* v) {
  switch (f.kind) {
    case FieldKind::Text: out.escaped(value_as<Text>(v)); break;
    case FieldKind::OptionalText: {
      const auto& o = value_as<std::optional<Text>>(v);
      if (o) {
        out.escaped(*o);
      } else {
        out.put("null");
      }
      break;
    }
    case FieldKind::U16: out.put_u64(value_as<std::uint16_t>(v)); break;
    case FieldKind::Bool: out.put(value_as<bool>(v) ? std::string_view("true") : std::string_view("false")); break;
    case FieldKind::TextList: write_text_list(out, value_as<TextList>(v)); break;
    case FieldKind::PairList: {
      const auto& list = value_as<PairList>(v);
      out.put('[');
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) out.put(',');
        out.put('[');
        out.escaped(list[i].first);
        out.put(',');
        write_text_list(out, list[i].second);
        out.put(']');
      }
      out.put(']');
      break;
    }
    case FieldKind::Record: write_record_to(out, f.nested(), v); break;
    case FieldKind::RecordList: {
      const RecordDef& def = f.nested();
      const std::size_t n = f.list->size(v);
      out.put('[');
      if (const std::size_t pieces = list_pieces(n); pieces > 1) {
        write_elements_in_pieces(out, def, *f.list, v, n, pieces);
      } else {
        write_elements(out, def, *f.list, v, 0, n);
      }
      out.put(']');
      break;
    }
  }
}

void write_record_to(Out& out, const RecordDef& def, const void* record) {
  out.put('{');
  bool first = true;
  record::for_each_written(def, record, [&](const FieldDef& f, const void* v) {
    if (!first) out.put(',');
    first = false;
    out.key(f);
    write_field_value(out, f, v);
  });
  out.put('}');
}

// Size estimates of written text (the room write_record reserves), on the
// high side: every field counted as written, every text without escapes, and
// a long list of records as its length times the mean of a sample of its
// elements.

std::size_t text_estimate(std::string_view text) noexcept { return text.size() + 3; }  // quotes, comma

std::size_t text_list_estimate(const TextList& list) noexcept {
  std::size_t n = 2;
  for (const Text& t : list) n += text_estimate(t);
  return n;
}

std::size_t record_estimate(const RecordDef& def, const void* record) noexcept;

std::size_t value_estimate(const FieldDef& f, const void* v) noexcept {
  switch (f.kind) {
    case FieldKind::Text: return text_estimate(value_as<Text>(v));
    case FieldKind::OptionalText: {
      const auto& o = value_as<std::optional<Text>>(v);
      return o ? text_estimate(*o) : 4;
    }
    case FieldKind::U16:
    case FieldKind::Bool: return 5;
    case FieldKind::TextList: return text_list_estimate(value_as<TextList>(v));
    case FieldKind::PairList: {
      std::size_t n = 2;
      for (const TextPair& p : value_as<PairList>(v)) {
        n += 3 + text_estimate(p.first) + text_list_estimate(p.second);
      }
      return n;
    }
    case FieldKind::Record: return record_estimate(f.nested(), v);
    case FieldKind::RecordList: {
      constexpr std::size_t kSample = 64;
      const RecordDef& def = f.nested();
      const std::size_t count = f.list->size(v);
      const std::size_t step = count > kSample ? count / kSample : 1;
      std::size_t sampled = 0;
      std::size_t sum = 0;
      for (std::size_t i = 0; i < count; i += step, ++sampled) sum += record_estimate(def, f.list->at(v, i)) + 1;
      return 2 + (sampled == 0 ? 0 : sum / sampled * count);
    }
  }
  return 0;
}

std::size_t record_estimate(const RecordDef& def, const void* record) noexcept {
  std::size_t n = 2;
  for (const FieldDef& f : def.fields) n += f.key.size() + 3 + value_estimate(f, f.in(record));
  return n;
}

}  // namespace

std::string format_double(double d) {
  if (d == 0) return std::signbit(d) ? "-0.0" : "0.0";
  if (!std::isfinite(d)) return std::isnan(d) ? "NaN" : (d < 0 ? "-inf" : "inf");
  const auto [negative, digits, kk] = record::shortest_decimal(d);  // value = 0.digits * 10^kk
  std::string out;
  if (negative) out += '-';
  const int length = static_cast<int>(digits.size());
  const int k = kk - length;
  if (k >= 0 && kk <= 16) {
    out += digits;
    out.append(static_cast<std::size_t>(k), '0');
    out += ".0";
  } else if (kk > 0 && kk <= 16) {
    out.append(digits, 0, static_cast<std::size_t>(kk));
    out += '.';
    out.append(digits, static_cast<std::size_t>(kk));
  } else if (kk > -5 && kk <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-kk), '0');
    out += digits;
  } else {
    out += digits[0];
    if (length > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(kk - 1);
  }
  return out;
}

void append_escaped(std::string& out, std::string_view text) {
  Out o(out);
  o.escaped(text);
}

std::optional<formats::WriteError> write_record(std::string& out, const RecordDef& def, const void* record) {
  brelmark::reserve_preferring_huge_pages(out, out.size() + record_estimate(def, record));
  Out o(out);
  write_record_to(o, def, record);
  return std::nullopt;
}

std::string unexpected_float(double d) {
  std::string s = "floating point `";
  s += format_double(d);
  s += '`';
  return s;
}

}  // namespace qv::json
