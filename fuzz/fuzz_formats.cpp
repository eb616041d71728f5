// libFuzzer target for the document readers and writers (JSON, YAML, TOML).
//
// Input: the first byte chooses the format (byte % 3: JSON, YAML, TOML) and the
// entry (byte / 3 % 20, see kEntries); the rest is the input. An entry reads a
// document into one record of the module (its real records and field tables,
// as the classes' from_json / from_yaml / from_toml read them) or into a test
// record, or reads configuration text as the classes' constructors do (LTM(text),
// Virtual(text), Pool(text), partition(text), SnatPool(text)), or matches an
// object path with the module's matcher and with the library's pattern. The
// environment variable QV_FUZZ_FORMAT=json|yaml|toml pins the format (the first
// byte then chooses only the record), so that parallel runs can each keep to one
// format over the same corpus layout.
//
// Besides "no crash, no sanitizer report", each input checks:
//   - a failed read gives a non-empty, valid UTF-8 message;
//   - a successful read written back in the same format reads again; after that
//     first round trip (which may fill in values for fields that are written
//     only when they differ from what an absent field reads as) the text is a
//     fixed point: writing and reading again gives the same text and the same
//     value;
//   - for the module's own record shapes (whose tables are made so that an
//     unwritten field reads back as what was not written) the first written
//     text is already that fixed point;
//   - the settled value, written in each of the three formats, reads back as
//     the same value;
//   - a value converted from configuration text goes through the same checks in
//     every format;
//   - both path matchers give the same answer and the same groups, and the
//     model's path accessors the answers worked out from the library's groups.
// A broken invariant aborts with both texts printed. QV_FUZZ_VERBOSE=1 prints
// each input's format, record and outcome (for looking at seeds and findings).
#include <brelmark/grammar.hpp>
#include <brelmark/path.hpp>
#include <brelmark/unicode.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/format.hpp"
#include "formats/json.hpp"
#include "formats/toml.hpp"
#include "formats/yaml.hpp"
#include "ltm/ltm.hpp"
#include "ltm/ltm_path.hpp"
#include "path_reference.hpp"
#include "record/record.hpp"
#include "test_records.hpp"

namespace qv::fuzz {

using qv::record::RecordDef;

// ---------------------------------------------------------------------------
// The three formats behind one interface.

struct Format {
  const char* name;
  bool (*read)(std::string_view text, const RecordDef& def, void* record, std::string& error);
  qv::formats::WriteRecord write;
};

constexpr Format kFormats[] = {
    {"json", &qv::json::read_record, &qv::json::write_record},
    {"yaml", &qv::yaml::read_record, &qv::yaml::write_record},
    {"toml", &qv::toml::read_record, &qv::toml::write_record},
};
constexpr std::size_t kFormatCount = std::size(kFormats);

// ---------------------------------------------------------------------------
// Checks.

std::optional<std::size_t> g_pinned_format;  // QV_FUZZ_FORMAT
bool g_verbose = false;                      // QV_FUZZ_VERBOSE

[[noreturn]] void fail(const char* what, const Format& f, std::string_view a, std::string_view b = {}) {
  std::fprintf(stderr, "\n*** %s (%s)\n--- first:\n%.*s\n--- second:\n%.*s\n---\n", what, f.name,
               static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()), b.data());
  std::abort();
}

void check_error(const Format& f, std::string_view input, const std::string& error) {
  if (error.empty()) fail("read failed with an empty message", f, input);
  if (!brelmark::is_valid_utf8(error)) fail("error message is not valid UTF-8", f, input, error);
}

template <class T>
std::string write_or_fail(const Format& f, const T& value, std::string_view context) {
  qv::formats::WriteResult written = qv::formats::write(f.write, value);
  if (!written) fail("writing a value that was read failed", f, context, written.error().message);
  return std::move(written).value();
}

template <class T>
T read_or_fail(const Format& f, std::string_view text, std::string_view context) {
  T value{};
  std::string error;
  if (!f.read(text, qv::record::record_def<T>, &value, error)) {
    std::string both = std::string(error) + "\n--- document that was read first:\n" + std::string(context);
    fail("a written document does not read back", f, text, both);
  }
  return value;
}

// The checks of a value that was read or converted, in format `f`. `Settles`:
// the first written text is already the fixed point (the table writes every
// field whose absence would read back differently).
template <class T, bool Settles>
void settle(const Format& f, const T& first, std::string_view input) {
  const std::string w1 = write_or_fail(f, first, input);
  const T second = read_or_fail<T>(f, w1, input);
  const std::string w2 = write_or_fail(f, second, input);
  if (Settles && w1 != w2) fail("write-read-write changed the text", f, w1, w2);
  const T third = read_or_fail<T>(f, w2, w1);
  const std::string w3 = write_or_fail(f, third, input);
  if (w2 != w3) fail("text is not stable after one round trip", f, w2, w3);
  if (!(second == third)) fail("value is not stable after one round trip", f, w2, w3);

  // The settled value through every other format.
  for (const Format& g : kFormats) {
    if (&g == &f) continue;
    const std::string text = write_or_fail(g, third, w2);
    const T back = read_or_fail<T>(g, text, w2);
    if (!(back == third)) fail("value changed through another format", g, w2, text);
  }
}

template <class T, bool Settles>
void run(const Format& f, std::string_view input) {
  const RecordDef& def = qv::record::record_def<T>;
  T first{};
  std::string error;
  const bool ok = f.read(input, def, &first, error);
  if (g_verbose) {
    std::fprintf(stderr, "%s %.*s: %s\n", f.name, static_cast<int>(def.name.size()), def.name.data(),
                 ok ? "read" : error.c_str());
  }
  if (!ok) {
    check_error(f, input, error);
    return;
  }
  settle<T, Settles>(f, first, input);
}

// Configuration text converted as a class's constructor converts it; the value
// then goes through the checks in every format. The constructors take a Python
// str, whose text is always well-formed UTF-8: other input is not theirs.
template <class T, auto Convert>
void run_text(const Format&, std::string_view input) {
  if (!brelmark::is_valid_utf8(input)) return;
  std::optional<T> value = Convert(input);
  if (g_verbose) std::fprintf(stderr, "text %s\n", value ? "converted" : "not parsed");
  if (!value) return;
  for (const Format& f : kFormats) settle<T, true>(f, *value, input);
}

// The module's object-path matcher against the library's pattern (a general
// regular-expression engine): the same answer and the same groups, as slices of
// the same places of the text; and the model's path accessors against the answers
// worked out from the library's groups.
void run_path(const Format& f, std::string_view input) {
  brelmark::PathCaptures ours, theirs;
  const bool a = qv::ltm::LtmPathPattern::match(input, ours);
  const bool b = brelmark::PathPattern::get().match(input, theirs);
  auto same = [](const std::optional<std::string_view>& x, const std::optional<std::string_view>& y) {
    return x.has_value() == y.has_value() && (!x || (x->data() == y->data() && x->size() == y->size()));
  };
  if (a != b || (a && !(same(ours.partition, theirs.partition) && same(ours.name, theirs.name) &&
                        same(ours.rd, theirs.rd) && same(ours.port, theirs.port) && same(ours.svc, theirs.svc)))) {
    fail("the module's path matcher and the library's pattern disagree", f, input);
  }
  for (std::optional<std::string_view> dflt : {std::optional<std::string_view>(), std::optional<std::string_view>("Common")}) {
    if (qv::test::accessors(input, dflt) != qv::test::reference_accessors(input, dflt)) {
      fail("the model's path accessors and the library's pattern disagree", f, input);
    }
  }
}

std::optional<qv::ltm::LTM> ltm_text(std::string_view text) { return qv::ltm::ltm_from_text(text); }

std::optional<qv::ltm::Virtual> virtual_text(std::string_view text) {
  auto parsed = brelmark::parse_virtual(text);
  if (!parsed) return std::nullopt;
  return qv::ltm::virtual_from_parsed(std::move(parsed).value());
}

std::optional<qv::ltm::Pool> pool_text(std::string_view text) {
  auto parsed = brelmark::parse_pool(text);
  if (!parsed) return std::nullopt;
  return qv::ltm::pool_from_object_text(parsed.value(), text.substr(0, text.size() - parsed.rest().size()));
}

std::optional<qv::ltm::Partition> partition_text(std::string_view text) {
  auto parsed = brelmark::parse_partition(text);
  if (!parsed) return std::nullopt;
  return qv::ltm::partition_from_parsed(parsed.value());
}

std::optional<qv::ltm::SnatPool> snatpool_text(std::string_view text) {
  auto parsed = brelmark::parse_snatpool(text);
  if (!parsed) return std::nullopt;
  return qv::ltm::snatpool_from_parsed(parsed.value());
}

using Runner = void (*)(const Format&, std::string_view);

// fuzz/run.sh seeds the corpus by these numbers: keep it in step.
constexpr Runner kEntries[] = {
    // Test records.
    &run<qv::test::Item, false>,    // 0: every field kind and written-when rule
    &run<qv::test::Batch, false>,   // 1: a list of those
    &run<qv::test::Node, true>,     // 2: a record that nests itself (nesting allowance)
    &run<qv::test::Server, true>,   // 3: server-shaped
    &run<qv::test::Config, false>,  // 4: lists of servers and members (Member's ratio does not settle)
    // The module's records, read from documents.
    &run<qv::ltm::Virtual, true>,     // 5
    &run<qv::ltm::Pool, true>,        // 6
    &run<qv::ltm::Profile, true>,     // 7
    &run<qv::ltm::Snat, true>,        // 8
    &run<qv::ltm::MemberFqdn, true>,  // 9
    &run<qv::ltm::PoolMember, true>,  // 10
    &run<qv::ltm::Partition, true>,   // 11
    &run<qv::ltm::SnatPool, true>,    // 12
    &run<qv::ltm::LTM, true>,         // 13
    // Configuration text (the format byte does not matter: every format is checked).
    &run_text<qv::ltm::LTM, &ltm_text>,            // 14
    &run_text<qv::ltm::Virtual, &virtual_text>,    // 15
    &run_text<qv::ltm::Pool, &pool_text>,          // 16
    &run_text<qv::ltm::Partition, &partition_text>,  // 17
    &run_text<qv::ltm::SnatPool, &snatpool_text>,  // 18
    &run_path,  // 19: an object path (the format byte does not matter)
};
constexpr std::size_t kEntryCount = std::size(kEntries);

}  // namespace qv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qv::fuzz::g_verbose = std::getenv("QV_FUZZ_VERBOSE") != nullptr;
  if (const char* want = std::getenv("QV_FUZZ_FORMAT")) {
    for (std::size_t i = 0; i < qv::fuzz::kFormatCount; ++i) {
      if (std::strcmp(want, qv::fuzz::kFormats[i].name) == 0) qv::fuzz::g_pinned_format = i;
    }
    if (!qv::fuzz::g_pinned_format) {
      std::fprintf(stderr, "QV_FUZZ_FORMAT must be json, yaml or toml\n");
      std::exit(2);
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned selector = data[0];
  const std::size_t format = qv::fuzz::g_pinned_format ? *qv::fuzz::g_pinned_format : selector % qv::fuzz::kFormatCount;
  const std::size_t entry = (selector / qv::fuzz::kFormatCount) % qv::fuzz::kEntryCount;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  qv::fuzz::kEntries[entry](qv::fuzz::kFormats[format], text);
  return 0;
}
