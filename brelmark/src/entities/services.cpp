#include "brelmark/services.hpp"

#include <cassert>

namespace brelmark {

namespace {

struct Row {
  std::uint32_t name_offset;
  std::uint8_t name_length;
  std::uint16_t port;
};

// kRowCount, kMinNameLength, kMaxNameLength, kBucketMask, kSlotMask, kEmpty,
// kNames, kRows, kSeeds, kSlots: constant data generated from data/services.tsv
// at build time, so there is nothing to build or lock at run time.
#include "services_table.inc"

constexpr std::uint16_t kNoPort = 65535;
// The port text of a network virtual server, which serves every port: port 0, which no row has.
constexpr std::string_view kWildcard = "any";

// The hash of the generator (data/gen_services.py): FNV-1a over the name, then
// the splitmix64 finaliser for the bucket and, with the bucket's seed, the slot.
constexpr std::uint64_t hash64(std::string_view name) noexcept {
  std::uint64_t x = 0xcbf29ce484222325ULL;
  for (char c : name) {
    x ^= static_cast<unsigned char>(c);
    x *= 0x100000001b3ULL;
  }
  return x;
}

constexpr std::uint64_t mix(std::uint64_t z) noexcept {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

constexpr std::string_view name_of(const Row& row) noexcept {
  return {kNames + row.name_offset, row.name_length};
}

}  // namespace

std::uint16_t service_port(std::string_view name) noexcept {
  if (name == kWildcard) return 0;
  if (name.size() < kMinNameLength || name.size() > kMaxNameLength) return kNoPort;
  const std::uint64_t h = hash64(name);
  const std::uint16_t seed = kSeeds[mix(h) & kBucketMask];
  const std::uint16_t index = kSlots[mix(h ^ (seed * 0x9e3779b97f4a7c15ULL)) & kSlotMask];
  if (index == kEmpty) return kNoPort;
  const Row& row = kRows[index];
  return name_of(row) == name ? row.port : kNoPort;
}

std::size_t service_count() noexcept { return kRowCount; }

ServiceRow service_row(std::size_t index) noexcept {
  assert(index < kRowCount);
  const Row& row = kRows[index];
  return {name_of(row), row.port};
}

}  // namespace brelmark
