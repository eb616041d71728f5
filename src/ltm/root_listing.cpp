#include "ltm/root_listing.hpp"

#include <algorithm>
#include <string>

#include "ltm/ltm_path.hpp"

namespace qv::ltm {

void read_root_listing_names(LTM& ltm, std::string_view text) {
  if (std::none_of(ltm.pools.begin(), ltm.pools.end(), pool_named_from_own_partition)) return;
  if (!names_printed_from_root(text)) return;
  for (Pool& pool : ltm.pools) {
    if (pool_named_from_own_partition(pool)) pool_read_from_root(pool);
  }
  for (Virtual& value : ltm.virtual_servers) {
    std::string_view pool = value.pool;
    if (pool.empty() || pool.front() == '/' || !ltmpath_impl_get_partition(pool, std::nullopt)) continue;
    std::string absolute = "/";
    absolute += pool;
    value.pool = absolute;
  }
}

}  // namespace qv::ltm
