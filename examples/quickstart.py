"""The main example: reads the bundled listing and shows the module at work."""
import sys
from pathlib import Path

import quilvarn

listing = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).with_name("listing.conf"))
text = listing.read_text()
print(f"{listing.name}: {len(text)} characters")

for raw in ["/Common/web_vs", "/Prod/10.1.10.20%2:443", "app_pool", "/Common/dns:domain"]:
    path = quilvarn.LtmPath(raw)
    port = None
    try:
        port = path.get_port()
    except ValueError:
        pass
    print(
        f"{raw!r}: partition={path.get_partition()!r} name={path.get_name()!r} "
        f"rd={path.get_route_domain()!r} port={port!r} full={path.get_full_path('Common')!r}"
    )
