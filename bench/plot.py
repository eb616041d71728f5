#!/usr/bin/python3
"""Bar chart of the throughput of each operation beside its anchors, from bench/measure.py's
results.json: one panel per listing, MB/s on a logarithmic scale.

    /usr/bin/python3 bench/plot.py OUT/results.json OUT/report.png

(matplotlib from Debian's python3-matplotlib.)
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# Each group: our operation first, then the tools it is compared with.
GROUPS = [
    ("read listing", ["LTM(text)", "json.loads", "newline count"]),
    ("read listing, one thread", ["LTM(text) one thread", "newline count"]),
    ("read JSON", ["LTM.from_json", "orjson.loads", "json.loads"]),
    ("read YAML", ["LTM.from_yaml", "yaml.load(CSafeLoader)"]),
    ("read TOML", ["LTM.from_toml", "tomllib.loads"]),
    ("write JSON", ["LTM.to_json", "orjson.dumps", "json.dumps"]),
    ("write YAML", ["LTM.to_yaml", "yaml.dump(CDumper)"]),
    ("write TOML", ["LTM.to_toml", "tomli_w.dumps"]),
    ("build dict", ["LTM.to_dict", "orjson.loads(to_json())", "orjson.loads (for to_dict)"]),
]
OURS, ANCHOR, FLOOR = "#1f77b4", "#ff7f0e", "#9e9e9e"


def panel(axis, workload):
    rows = {r["name"]: r for r in workload["rows"] if not r.get("absent")}
    labels, speeds, colours, y = [], [], [], []
    position = 0.0
    for _, names in GROUPS:
        if names[0] not in rows:
            continue
        amount = rows[names[0]]["amount"]  # every bar of a group counts our operation's bytes
        for index, name in enumerate(names):
            if name not in rows:
                continue
            labels.append(name + (" (same objects)" if amount != rows[name]["amount"] else ""))
            speeds.append(amount / rows[name]["median"] / 1e6)
            colours.append(OURS if index == 0 else FLOOR if name == "newline count" else ANCHOR)
            y.append(position)
            position += 1.0
        position += 0.6
    bars = axis.barh(y, speeds, color=colours, height=0.8)
    axis.bar_label(bars, labels=[f"{s:,.0f}" if s >= 10 else f"{s:.1f}" for s in speeds],
                   padding=3, fontsize=7)
    axis.set_yticks(y, labels, fontsize=8)
    axis.invert_yaxis()
    axis.set_xscale("log")
    axis.set_xlim(right=max(speeds) * 4)
    axis.set_xlabel("MB/s of the document read or written (log scale)")
    axis.set_title(f"{workload['megabytes']:.0f} MB listing", fontsize=10)
    axis.grid(axis="x", which="major", alpha=0.3)


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source) as f:
        results = json.load(f)
    workloads = results["workloads"]
    figure, axes = plt.subplots(1, len(workloads), figsize=(6.2 * len(workloads), 6.5), squeeze=False)
    for axis, workload in zip(axes[0], workloads):
        panel(axis, workload)
    handles = [matplotlib.patches.Patch(color=c, label=l)
               for c, l in ((OURS, "quilvarn"), (ANCHOR, "other tools"), (FLOOR, "newline count"))]
    figure.legend(handles=handles, loc="lower center", ncol=3, fontsize=8)
    cpu = results.get("machine", {}).get("cpu")
    figure.suptitle(f"Throughput per operation (median of up to {results['repeat']} runs, "
                    f"Python {results['python']}{', ' + cpu if cpu else ''})", fontsize=11)
    figure.tight_layout(rect=(0, 0.04, 1, 1))
    figure.savefig(target, dpi=90)


if __name__ == "__main__":
    main()
