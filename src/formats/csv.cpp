#include "formats/csv.hpp"

#include <charconv>

namespace qv::csv {

formats::WriteError container_in_header(std::string_view kind) {
  std::string s = "CSV write error: cannot serialize ";
  s += kind;
  s += " container inside struct when writing headers from structs";
  return formats::WriteError::of(std::move(s));
}

bool needs_quotes(std::string_view field, const CsvWriterSettings& settings) {
  for (char c : field)
    if (c == settings.delimiter || c == settings.quote || c == '\r' || c == '\n') return true;
  return false;
}

void Writer::field(std::string_view text) {
  if (fields_ > 0) *out_ += settings_.delimiter;
  ++fields_;
  if (!needs_quotes(text, settings_)) {
    *out_ += text;
    return;
  }
  *out_ += settings_.quote;
  for (char c : text) {
    if (c == settings_.quote) *out_ += settings_.quote;
    *out_ += c;
  }
  *out_ += settings_.quote;
}

void Writer::field(uint64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  field(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

void Writer::field(bool value) { field(std::string_view(value ? "true" : "false")); }

Status Writer::end_row() {
  if (!settings_.flexible) {
    if (!width_) {
      width_ = fields_;
    } else if (*width_ != fields_) {
      return formats::WriteError::of("CSV error: found record with " + std::to_string(fields_) +
                                     " fields, but the previous record has " + std::to_string(*width_) +
                                     " fields");
    }
  }
  if (out_->size() == row_start_) {
    *out_ += settings_.quote;
    *out_ += settings_.quote;
  }
  *out_ += settings_.terminator;
  row_start_ = out_->size();
  fields_ = 0;
  return std::nullopt;
}

// ---------------------------------------------------------------- records

using record::FieldDef;
using record::Text;
using record::FieldKind;
using record::value_as;

Status header_walk(HeaderSink& sink, const record::RecordDef& def, const void* record) {
  Status st;
  record::for_each_written(def, record, [&](const FieldDef& f, const void*) {
    if (st) return;
    sink.name(f.key);
    switch (f.kind) {
      case FieldKind::TextList:
      case FieldKind::PairList:
      case FieldKind::RecordList: st = sink.sequence(); break;
      case FieldKind::Record: st = sink.record(f.nested().name); break;
      default: break;
    }
  });
  return st;
}

void record_walk(Writer& w, const record::RecordDef& def, const void* record) {
  record::for_each_written(def, record, [&](const FieldDef& f, const void* v) {
    switch (f.kind) {
      case FieldKind::Text: w.field(value_as<Text>(v)); break;
      case FieldKind::OptionalText: {
        const auto& o = value_as<std::optional<Text>>(v);
        w.field(o ? std::string_view(*o) : std::string_view());
        break;
      }
      case FieldKind::U16: w.field(uint64_t{value_as<std::uint16_t>(v)}); break;
      case FieldKind::Bool: w.field(value_as<bool>(v)); break;
      case FieldKind::TextList:
        for (const Text& t : value_as<record::TextList>(v)) w.field(t);
        break;
      case FieldKind::PairList:
        for (const record::TextPair& p : value_as<record::PairList>(v)) {
          w.field(p.first);
          for (const Text& t : p.second) w.field(t);
        }
        break;
      case FieldKind::Record: record_walk(w, f.nested(), v); break;
      case FieldKind::RecordList: {
        const record::RecordListOps& ops = *f.list;
        for (std::size_t i = 0, n = ops.size(v); i < n; ++i) record_walk(w, f.nested(), ops.at(v, i));
        break;
      }
    }
  });
}

std::optional<formats::WriteError> write_record(std::string& out, const record::RecordDef& def,
                                                const void* record) {
  return write_walks(
      out, [&](HeaderSink& sink) { return header_walk(sink, def, record); },
      [&](Writer& w) {
        record_walk(w, def, record);
        return Status();
      });
}

}  // namespace qv::csv
