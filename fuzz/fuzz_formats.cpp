// libFuzzer target for the document readers and writers (JSON, YAML, TOML).
//
// Input: the first byte chooses the format (byte % 3: JSON, YAML, TOML) and the
// record read (byte / 3 % 7, see kRecords); the rest is the document. The
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
//     the same value.
// A broken invariant aborts with both texts printed. QV_FUZZ_VERBOSE=1 prints
// each input's format, record and outcome (for looking at seeds and findings).
#include <brelmark/unicode.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/json.hpp"
#include "formats/record.hpp"
#include "formats/toml.hpp"
#include "formats/yaml.hpp"
#include "test_records.hpp"
#include "test_yaml_records.hpp"

namespace fz {

using quilvarn::formats::FieldDef;
using quilvarn::formats::RecordDef;
using quilvarn::formats::TextPair;
using quilvarn::formats::WrittenWhen;

// ---------------------------------------------------------------------------
// Mirrors of the module's virtual server and pool records (their own headers
// need Python): the same members and the same field tables.

struct Profile {
  std::string name;
  std::optional<std::string> context;
  friend bool operator==(const Profile&, const Profile&) = default;
};

struct Snat {
  std::string type_;
  std::string pool;
  friend bool operator==(const Snat&, const Snat&) = default;
};

inline bool snat_is_written(const Snat& s) noexcept {
  return !(brelmark::is_blank(s.type_) && brelmark::is_blank(s.pool));
}

struct Virtual {
  std::string name;
  std::string destination;
  std::string description;
  std::string partition;
  std::string ip_protocol;
  std::optional<std::string> creation_time;
  std::optional<std::string> last_modified_time;
  std::vector<Profile> profiles;
  std::string mask;
  std::string pool;
  Snat snat;
  std::string translate_address;
  std::string translate_port;
  std::vector<std::string> vlans;
  bool vlans_enabled = false;
  std::string source;
  bool disabled = false;
  std::vector<std::string> rules;
  std::vector<TextPair> policies;
  std::optional<std::string> fw_enforced_policy;
  std::vector<std::string> security_log_profiles;
  friend bool operator==(const Virtual&, const Virtual&) = default;
};

struct MemberFqdn {
  std::string autopopulate;
  std::string name;
  friend bool operator==(const MemberFqdn&, const MemberFqdn&) = default;
};

inline MemberFqdn memberfqdn_default() { return MemberFqdn{"disabled", "none"}; }
inline bool is_fqdn_written(const MemberFqdn& f) noexcept {
  return !(brelmark::is_blank(f.autopopulate) ||
           quilvarn::formats::equals_keyword(f.autopopulate, "disabled"));
}

struct PoolMember {
  std::string name;
  std::string destination;
  std::uint16_t priority_group = 0;
  std::string session;
  std::string state;
  MemberFqdn fqdn;
  std::string monitor;
  std::uint16_t ratio = 0;
  friend bool operator==(const PoolMember&, const PoolMember&) = default;
};

struct Pool {
  std::string name;
  std::vector<PoolMember> members;
  std::string monitor;
  std::string description;
  std::uint16_t min_active_members = 0;
  std::string lb_mode;
  std::string partition;
  friend bool operator==(const Pool&, const Pool&) = default;
};

}  // namespace fz

namespace quilvarn::formats {

template <>
struct RecordTable<fz::Profile> {
  static constexpr std::string_view name = "Profile";
  static constexpr FieldDef fields[] = {
      field<&fz::Profile::name>("name").required(),
      field<&fz::Profile::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<fz::Snat> {
  static constexpr std::string_view name = "Snat";
  static constexpr FieldDef fields[] = {
      field<&fz::Snat::type_>("type").required(),
      field<&fz::Snat::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

template <>
struct RecordTable<fz::Virtual> {
  using V = fz::Virtual;
  static constexpr std::string_view name = "Virtual";
  static constexpr FieldDef fields[] = {
      field<&V::name>("name").required(),
      field<&V::destination>("destination").required(),
      field<&V::description>("description").when(WrittenWhen::NotBlank),
      field<&V::partition>("partition").when(WrittenWhen::NotBlank),
      field<&V::ip_protocol>("ip-protocol").required(),
      field<&V::creation_time>("creation-time").when(WrittenWhen::Set),
      field<&V::last_modified_time>("last-modified-time").when(WrittenWhen::Set),
      field<&V::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&V::mask>("mask").required(),
      field<&V::pool>("pool").when(WrittenWhen::NotBlank),
      field<&V::snat>("source-address-translation").written_if<&fz::snat_is_written>(),
      field<&V::translate_address>("translate_address"),
      field<&V::translate_port>("translate_port"),
      field<&V::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&V::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&V::source>("source"),
      field<&V::disabled>("disabled").when(WrittenWhen::True),
      field<&V::rules>("rules").when(WrittenWhen::NotEmpty),
      field<&V::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&V::fw_enforced_policy>("fw_enforced_policy").when(WrittenWhen::Set),
      field<&V::security_log_profiles>("security_log_profiles").when(WrittenWhen::NotEmpty),
  };
};

template <>
struct RecordTable<fz::MemberFqdn> {
  using R = fz::MemberFqdn;
  static constexpr std::string_view name = "MemberFqdn";
  static constexpr FieldDef fields[] = {
      field<&R::autopopulate>("autopopulate"),
      field<&R::name>("name"),
  };
};

template <>
struct RecordTable<fz::PoolMember> {
  using R = fz::PoolMember;
  static constexpr std::string_view name = "PoolMember";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::destination>("destination").when(WrittenWhen::NotBlank),
      field<&R::priority_group>("priority-group").when(WrittenWhen::NotZero),
      field<&R::session>("session").when(WrittenWhen::NotBlank),
      field<&R::state>("state").when(WrittenWhen::NotBlank),
      field<&R::fqdn>("fqdn").written_if<&fz::is_fqdn_written>().absent_with<&fz::memberfqdn_default>(),
      field<&R::monitor>("monitor").unless_keyword("default", true).absent("default"),
      field<&R::ratio>("ratio").when(WrittenWhen::NotOne).absent(std::uint16_t{1}),
  };
};

template <>
struct RecordTable<fz::Pool> {
  using R = fz::Pool;
  static constexpr std::string_view name = "Pool";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::members>("members").when(WrittenWhen::NotEmpty),
      field<&R::monitor>("monitor").when(WrittenWhen::NotBlank),
      field<&R::description>("description").when(WrittenWhen::NotBlank),
      field<&R::min_active_members>("min-active-members").when(WrittenWhen::NotZero),
      field<&R::lb_mode>("load-balancing-mode").unless_keyword("round-robin").absent("round-robin"),
      field<&R::partition>("partition").unless_keyword("common").absent("Common"),
  };
};

}  // namespace quilvarn::formats

namespace fz {

// ---------------------------------------------------------------------------
// The three formats behind one interface.

struct Format {
  const char* name;
  bool (*read)(std::string_view text, const RecordDef& def, void* record, std::string& error);
  // Appends the record's document; false with a message on failure.
  bool (*write)(const RecordDef& def, const void* record, std::string& out, std::string& error);
};

bool json_write(const RecordDef& def, const void* record, std::string& out, std::string&) {
  quilvarn::json::write_record(out, def, record);
  return true;
}
bool yaml_write(const RecordDef& def, const void* record, std::string& out, std::string& error) {
  return quilvarn::yaml::write_record(out, def, record, error);
}
bool toml_write(const RecordDef& def, const void* record, std::string& out, std::string& error) {
  if (auto failed = quilvarn::toml::write_record(out, def, record)) {
    error = failed->message;
    return false;
  }
  return true;
}

constexpr Format kFormats[] = {
    {"json", &quilvarn::json::read_record, &json_write},
    {"yaml", &quilvarn::yaml::read_record, &yaml_write},
    {"toml", &quilvarn::toml::read_record, &toml_write},
};
constexpr std::size_t kFormatCount = std::size(kFormats);

// ---------------------------------------------------------------------------
// Checks.

std::optional<std::size_t> g_pinned_format;  // QV_FUZZ_FORMAT
bool g_verbose = false;                      // QV_FUZZ_VERBOSE

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    unsigned c = *p++;
    if (c < 0x80) continue;
    int more;
    unsigned min;
    if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80, c &= 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800, c &= 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000, c &= 0x07;
    } else {
      return false;
    }
    if (end - p < more) return false;
    for (int i = 0; i < more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      c = (c << 6) | (p[i] & 0x3F);
    }
    p += more;
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  }
  return true;
}

[[noreturn]] void fail(const char* what, const Format& f, std::string_view a, std::string_view b = {}) {
  std::fprintf(stderr, "\n*** %s (%s)\n--- first:\n%.*s\n--- second:\n%.*s\n---\n", what, f.name,
               static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()), b.data());
  std::abort();
}

void check_error(const Format& f, std::string_view input, const std::string& error) {
  if (error.empty()) fail("read failed with an empty message", f, input);
  if (!is_utf8(error)) fail("error message is not valid UTF-8", f, input, error);
}

template <class T>
std::string write_or_fail(const Format& f, const T& value, std::string_view context) {
  std::string out, error;
  if (!f.write(quilvarn::formats::record_def<T>, &value, out, error)) {
    fail("writing a value that was read failed", f, context, error);
  }
  return out;
}

template <class T>
T read_or_fail(const Format& f, std::string_view text, std::string_view context) {
  T value{};
  std::string error;
  if (!f.read(text, quilvarn::formats::record_def<T>, &value, error)) {
    std::string both = std::string(error) + "\n--- document that was read first:\n" + std::string(context);
    fail("a written document does not read back", f, text, both);
  }
  return value;
}

// `Settles`: the first written text is already the fixed point (the table
// writes every field whose absence would read back differently).
template <class T, bool Settles>
void run(const Format& f, std::string_view input) {
  const RecordDef& def = quilvarn::formats::record_def<T>;
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

using Runner = void (*)(const Format&, std::string_view);

constexpr Runner kRecords[] = {
    &run<qvtest::Item, false>,   // every field kind and written-when rule
    &run<qvtest::Batch, false>,  // a list of those
    &run<qvtest::Node, true>,    // a record that nests itself (nesting allowance)
    &run<yrec::Vs, true>,        // server-shaped
    &run<yrec::Conf, false>,     // lists of servers and members (Mem's ratio does not settle)
    &run<Virtual, true>,
    &run<Pool, true>,
};
constexpr std::size_t kRecordCount = std::size(kRecords);

}  // namespace fz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fz::g_verbose = std::getenv("QV_FUZZ_VERBOSE") != nullptr;
  if (const char* want = std::getenv("QV_FUZZ_FORMAT")) {
    for (std::size_t i = 0; i < fz::kFormatCount; ++i) {
      if (std::strcmp(want, fz::kFormats[i].name) == 0) fz::g_pinned_format = i;
    }
    if (!fz::g_pinned_format) {
      std::fprintf(stderr, "QV_FUZZ_FORMAT must be json, yaml or toml\n");
      std::exit(2);
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned selector = data[0];
  const std::size_t format = fz::g_pinned_format ? *fz::g_pinned_format : selector % fz::kFormatCount;
  const std::size_t record = (selector / fz::kFormatCount) % fz::kRecordCount;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  fz::kRecords[record](fz::kFormats[format], text);
  return 0;
}
