#pragma once
// The names of a whole configuration printed from the root, read once the configuration is built.
#include <string_view>

#include "ltm/ltm.hpp"

namespace qv::ltm {

// A listing printed from the root ("cd /; list ... recursive") writes every name relative to "/":
// "Common/web_pool", "Tenant_1/Shared/web_pool" with "partition Tenant_1". Read alone, a pool
// named from its own partition reads as printed inside that partition (pool.hpp). Where some pool
// of `ltm` is so named and `text` shows names printed from the root, those pools are read from
// the root, and so is every virtual server's pool reference that has a partition part and no
// leading "/" ("Common/web_pool" -> "/Common/web_pool"). Otherwise nothing changes; the text is
// looked at only when such a pool is there, so a usual listing pays for one look at each pool.
void read_root_listing_names(LTM& ltm, std::string_view text);

}  // namespace qv::ltm
