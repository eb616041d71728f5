// libFuzzer target for the configuration parser library. The first byte chooses the
// entry; the rest of the input is the text. Besides the sanitizers, it checks what every
// caller relies on: rests and error inputs are views of the end of the text, every
// record text lies inside it, the whole-configuration parser never fails and always
// ends with a "Common" partition, and parsing it in pieces (cut at line starts or at
// any bytes) gives the objects of the single parse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "brelmark/brelmark.hpp"

namespace {

std::string_view g_text;

void check(bool ok) {
  if (!ok) std::abort();
}

bool inside(std::string_view part) {
  if (part.empty()) return true;
  return part.data() >= g_text.data() && part.data() + part.size() <= g_text.data() + g_text.size();
}

bool tail(std::string_view part) {
  return part.size() <= g_text.size() && part.data() + part.size() == g_text.data() + g_text.size();
}

// Texts of records are views of the input, or one of the grammar's constant defaults.
void check_text(std::string_view part, std::string_view dflt = {}) { check(part == dflt || inside(part)); }
void check_text(const std::optional<std::string_view>& part) {
  if (part) check(inside(*part));
}

template <class T>
void check_result(const brelmark::ParseResult<T>& r) {
  if (r) {
    check(tail(r.rest()));
  } else {
    const brelmark::ParseError& e = r.error();
    if (e.type != brelmark::ParseError::Type::Incomplete) check(tail(e.input));
    std::string message = e.to_string();
    check(message.rfind("Parsing ", 0) == 0);
  }
}

void check_path(const brelmark::ObjectPath& path) {
  check_text(path.text());
  check_text(path.name());
  check_text(path.partition(std::nullopt));
}

void check_virtual(const brelmark::ParsedVirtual& v) {
  for (const auto* p : {&v.name, &v.destination, &v.pool}) check_path(*p);
  for (auto t : {v.description, v.partition, v.ip_protocol, v.mask, v.translate_address, v.translate_port, v.source,
                 v.source_address_translation.type, v.source_address_translation.pool})
    check_text(t);
  check_text(v.creation_time);
  check_text(v.last_modified_time);
  check_text(v.fw_enforced_policy);
  for (const auto& p : v.profiles) {
    check_text(p.name);
    check_text(p.context);
  }
  for (const auto& p : v.policies) {
    check_text(p.name);
    for (auto e : p.entries) check_text(e);
  }
  for (const auto* list : {&v.vlans, &v.rules, &v.security_log_profiles})
    for (auto t : *list) check_text(t);
}

void check_pool(const brelmark::ParsedPool& p) {
  check_path(p.name);
  check_text(p.name_part());
  check_text(p.path_partition(std::nullopt));
  check_text(p.monitor);
  check_text(p.description);
  check_text(p.load_balancing_mode, "round-robin");
  check_text(p.partition, "Common");
  for (const auto& m : p.members_copy()) {
    check_path(m.name);
    check_text(m.name_part());
    for (auto t : {m.address, m.session, m.state}) check_text(t);
    check_text(m.monitor, "default");
    check_text(m.fqdn.autopopulate, "disabled");
    check_text(m.fqdn.name, "none");
    check_text(m.destination(), "none");
    // What the pool-member conversion does with a destination.
    auto address = brelmark::parse_member_address(m.destination());
    (void)address;
  }
}

void check_snatpool(const brelmark::ParsedSnatPool& s) {
  check_path(s.name);
  for (auto t : s.members_copy()) check_text(t);
  check_text(s.partition);
  check_text(s.partition_or(std::nullopt));
}

void check_partition(const brelmark::ParsedPartition& p) {
  check(inside(p.name) && !p.name.empty());
  check_text(p.description);
}

// Each object received, as its kind and the place and size of its name (of a skipped object, its
// keyword's place): enough to tell the objects of one parse apart, since every name is a view of
// the text.
struct Seen {
  char kind;
  const char* name;
  std::size_t size;
  bool operator==(const Seen&) const = default;
};

class SeeingSink final : public brelmark::ConfigSink {
 public:
  std::vector<Seen> seen;
  void on_partition(brelmark::ParsedPartition&& p) override { add('a', p.name); }
  void on_virtual(brelmark::ParsedVirtual&& v) override { add('v', v.name.text()); }
  void on_pool(brelmark::ParsedPool&& p) override { add('p', p.name.text()); }
  void on_snatpool(brelmark::ParsedSnatPool&& p) override { add('s', p.name.text()); }
  void on_skipped(const brelmark::SkippedObject& s) override { add('x', {s.at, 1}); }

 private:
  void add(char kind, std::string_view name) { seen.push_back({kind, name.data(), name.size()}); }
};

// The index of the first object after which a sink's objects count `counts`.
std::size_t index_at(const std::vector<Seen>& seen, const brelmark::ConfigCounts& counts) {
  brelmark::ConfigCounts n;
  std::size_t i = 0;
  while (!(n == counts)) {
    check(i < seen.size());
    switch (seen[i++].kind) {
      case 'a': ++n.partitions; break;
      case 'v': ++n.virtuals; break;
      case 'p': ++n.pools; break;
      case 's': ++n.snat_pools; break;
      default: ++n.skipped; break;
    }
  }
  return i;
}

// The text parsed whole and in pieces; `mode` chooses the cuts: line starts (even) or
// bytes spread evenly over the text (odd), up to 16 of them.
void check_pieces(std::uint8_t mode) {
  SeeingSink whole;
  check(brelmark::parse_config_into(g_text, whole).ok());
  std::vector<std::size_t> cuts{0};
  if (mode % 2 == 0) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 1; i < g_text.size(); ++i)
      if (g_text[i - 1] == '\n') lines.push_back(i);
    std::size_t step = lines.size() / 16 + 1;
    for (std::size_t k = mode / 2 % step; k < lines.size(); k += step) cuts.push_back(lines[k]);
  } else {
    for (std::size_t k = 1; k < 16; ++k) {
      std::size_t cut = g_text.size() * k / 16;
      if (cut > cuts.back()) cuts.push_back(cut);
    }
  }
  std::vector<SeeingSink> sinks(cuts.size() + 1);
  std::vector<brelmark::ConfigSink*> pointers;
  for (SeeingSink& sink : sinks) pointers.push_back(&sink);
  std::vector<Seen> joined;
  for (const brelmark::ConfigStretch& s : brelmark::parse_config_in_pieces(g_text, cuts, pointers)) {
    const std::vector<Seen>& seen = sinks[s.sink].seen;
    joined.insert(joined.end(), seen.begin() + index_at(seen, s.from), seen.begin() + index_at(seen, s.to));
  }
  check(joined == whole.seen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t which = data[0] % 8;
  g_text = std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1);

  switch (which) {
    case 0: {
      auto r = brelmark::parse_config(g_text);
      check(r.ok());  // a whole configuration never fails
      check_result(r);
      const auto& c = r.value();
      check(!c.partitions.empty());
      bool common = false;
      for (std::size_t i = 0; i < c.partitions.size(); ++i) {
        const auto& p = c.partitions[i];
        common = common || p.name == "Common";
        // Only the appended partition is no view of the text.
        if (i + 1 < c.partitions.size() || inside(p.name)) check_partition(p);
      }
      check(common);
      for (const auto& v : c.virtuals) check_virtual(v);
      for (const auto& p : c.pools) check_pool(p);
      for (const auto& s : c.snat_pools) check_snatpool(s);
      break;
    }
    case 1: {
      auto r = brelmark::parse_virtual(g_text);
      check_result(r);
      if (r) check_virtual(r.value());
      break;
    }
    case 2: {
      auto r = brelmark::parse_pool(g_text);
      check_result(r);
      if (r) check_pool(r.value());
      break;
    }
    case 3: {
      auto r = brelmark::parse_partition(g_text);
      check_result(r);
      if (r) check_partition(r.value());
      break;
    }
    case 4: {
      auto r = brelmark::parse_snatpool(g_text);
      check_result(r);
      if (r) check_snatpool(r.value());
      break;
    }
    case 5: {
      auto r = brelmark::parse_member_address(g_text);
      check_result(r);
      if (r) {
        check_text(r.value().partition);
        check_text(r.value().port);
        check(g_text.find(r.value().address) != std::string_view::npos);
      }
      break;
    }
    case 7:
      check_pieces(data[0] / 8);
      break;
    default: {
      brelmark::PathCaptures captures;
      if (brelmark::PathPattern::get().match(g_text, captures)) {
        check(captures.name.has_value());
        for (const auto& g : {captures.partition, captures.name, captures.rd, captures.port, captures.svc})
          check_text(g);
      }
      check_path(brelmark::ObjectPath(g_text));
      break;
    }
  }
  return 0;
}
