#pragma once
// The whole configuration: the record LTM with its four lists, its construction from a whole
// configuration text. The Python classes LTM, partition and SnatPool are in ltm_py.cpp.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <brelmark/grammar.hpp>

#include "ltm/partition.hpp"
#include "ltm/pool.hpp"
#include "ltm/snat.hpp"
#include "ltm/vs.hpp"
#include "record/record.hpp"

namespace qv::ltm {

// A whole configuration. Each list keeps its order (text order, document order or the order a
// caller gave); nothing links, indexes or de-duplicates the elements.
struct LTM {
  std::vector<Partition> partitions;
  std::vector<Virtual> virtual_servers;
  std::vector<Pool> pools;
  std::vector<SnatPool> snat_pools;
  friend bool operator==(const LTM&, const LTM&) = default;
};

// The objects of the four kinds that ltm_from_text skipped because they do not parse
// (brelmark::SkippedObject): how many, and the first kReported of them in text order.
struct SkippedObjects {
  static constexpr std::size_t kReported = 5;
  std::size_t count = 0;
  std::vector<brelmark::SkippedObject> first;
};

// The threads ltm_from_text(text) gives a text of this size: brelmark::worker_count(), which reads
// the environment, for a text large enough to cut, else 1 (and nothing read).
std::size_t ltm_workers(std::size_t text_bytes) noexcept;

// Every "auth partition", "ltm virtual", "ltm pool" and "ltm snatpool" object of the text, each
// converted as its own class converts it, in text order; a partition "Common" is appended when no
// partition has exactly that name. Unknown text and objects that do not parse are skipped; the
// latter are told in `skipped` where one is given. A large text is parsed and converted in pieces
// on `workers` threads at the same time, with the same result; where the pieces run out of
// memory, what they built is freed and the text is read again in one pass, which needs less. The
// whole-text parser never fails; if it did, that fault is thrown as std::logic_error.
LTM ltm_from_text(std::string_view text, std::size_t workers, SkippedObjects* skipped = nullptr);
inline LTM ltm_from_text(std::string_view text) { return ltm_from_text(text, ltm_workers(text.size())); }

// What was skipped of the text, in a few words: "LTM skipped 2 objects that do not parse: ltm pool
// /Common/p (line 12): Tag at line 14; auth partition P (line 20): Tag at line 21", each object by
// its keyword, its name (at most 64 bytes, bytes other than printable ASCII written \xNN) and the
// lines of its keyword and of its grammar's error; after the first kReported, "; and N more".
std::string skipped_message(std::string_view text, const SkippedObjects& skipped);

// "partitions: P, virtual_servers: V, pools: N, snat_pools: S".
std::string ltm_str(const LTM& value);
// "LTM at 0x<address>, " + the string form.
std::string ltm_repr(const LTM& value);

}  // namespace qv::ltm

template <>
struct qv::record::RecordTable<qv::ltm::LTM> {
  using R = qv::ltm::LTM;
  static constexpr std::string_view name = "LTM";
  static constexpr FieldDef fields[] = {
      field<&R::partitions>("partitions").required(),
      field<&R::virtual_servers>("virtual_servers").required(),
      field<&R::pools>("pools").required(),
      field<&R::snat_pools>("snat_pools").required(),
  };
};
