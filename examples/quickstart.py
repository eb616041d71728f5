"""The main example: reads a configuration listing into an LTM, prints a summary and its YAML."""
import sys
from pathlib import Path

import quilvarn

listing = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).with_name("listing.conf"))
ltm = quilvarn.LTM(listing.read_text())

print(f"{listing.name}:")
print(f"  partitions:      {', '.join(p.name for p in ltm.partitions)}")
for vs in ltm.virtual_servers:
    dest = vs.destination
    print(f"  virtual server   {vs.name.get_full_path('Common')} -> {dest.get_address()}:{dest.get_port()}"
          f" pool {vs.pool.get_name() if vs.pool else '-'}")
for pool in ltm.pools:
    members = ", ".join(f"{m.name.get_name()} ({m.get_dest_ip() or 'fqdn'})" for m in pool.members)
    print(f"  pool             {pool.get_full_path('Common')}: {members}")
for snat in ltm.snat_pools:
    print(f"  SNAT pool        {snat.name.get_full_path('Common')}: {', '.join(snat.members)}")
print()
print(ltm.to_yaml(), end="")
