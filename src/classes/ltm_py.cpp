// The Python classes LTM, partition and SnatPool; their document members are the shared record
// members of py/members.hpp.
#include "classes/classes.hpp"
#include "py/members.hpp"
#include "py/unlocked.hpp"

namespace qv::ltm {

// ---- Python members -----------------------------------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;

constexpr ArgumentSpec kPartitionNew{"partition", "__new__", {"input"}, 1};
constexpr ArgumentSpec kSnatPoolNew{"SnatPool", "__new__", {"input"}, 1};
constexpr ArgumentSpec kLtmNew{"LTM", "__new__", {"val"}, 1};

// A large text is parsed and converted without the interpreter lock: the text is the argument's
// own buffer, which the caller holds, and the new value is nobody else's until it is returned. The
// thread count is read from the environment before, with the lock held, as Python code changes
// the environment only with it. What was skipped is told in one UserWarning once the value is
// built; a filter that turns the warning into an error makes the call raise it, and the value goes.
LTM ltm_body_new(const Arguments& args) {
  std::string_view text = args.get<std::string_view>(0);
  const std::size_t workers = ltm_workers(text.size());
  SkippedObjects skipped;
  std::string warning;
  LTM ltm = py::unlocked_for(text.size(), [&] {
    LTM value = ltm_from_text(text, workers, &skipped);
    if (skipped.count != 0) warning = skipped_message(text, skipped);
    return value;
  });
  if (!warning.empty()) py::check_status(PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1));
  return ltm;
}

}  // namespace
}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::Partition>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      field<&Partition::name>("name"),
      field<&Partition::rd>("rd"),
      field<&Partition::description>("description"),
      record_readers<Partition>(),
      record_writers<Partition>(),
      slot_new<kPartitionNew, &new_from_text<&brelmark::parse_partition, &partition_from_parsed>>(),
      slot_repr<&partition_repr>(),
      slot_str<&partition_str>());
  return table;
}

std::span<const Item> ClassInfo<ltm::SnatPool>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      path_name<SnatPool>(),
      field<&SnatPool::members>("members"),
      field<&SnatPool::partition>("partition"),
      static_method<&record_new_default<SnatPool>>("new_default"),
      record_readers<SnatPool>(),
      record_writers<SnatPool>(),
      slot_new<kSnatPoolNew, &new_from_text<&brelmark::parse_snatpool, &snatpool_from_parsed>>(),
      slot_str<&snatpool_str>(),
      slot_repr<&snatpool_repr>());
  return table;
}

// The list attributes hand out new lists of new objects and take any sequence (not a str) of
// objects of the element class, copied; the first bad item leaves the list as it was.
std::span<const Item> ClassInfo<ltm::LTM>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      field<&LTM::partitions>("partitions"),
      field<&LTM::virtual_servers>("virtual_servers"),
      field<&LTM::pools>("pools"),
      field<&LTM::snat_pools>("snat_pools"),
      static_method<&record_new_default<LTM>>("new_default"),
      record_readers<LTM>(),
      record_writers<LTM>(),
      slot_new<kLtmNew, &ltm_body_new>(),
      slot_str<&ltm_str>(),
      slot_repr<&ltm_repr>());
  return table;
}

}  // namespace qv::py
