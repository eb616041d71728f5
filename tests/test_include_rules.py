"""The one-way rule between the parts of the C++ tree, read from their #include lines.

Each part is a folder (or a few files) and a library of its own (brelmark/meson.build,
src/meson.build, tests/cpp/oracles/meson.build); a part may include only itself and the parts it
builds on.
"""
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]

# The part of a file: the longest of these path prefixes (from the top of the tree) it starts with.
PARTS = {
    "brelmark/include/brelmark/unicode.hpp": "brelmark_text",
    "brelmark/include/brelmark/at_once.hpp": "brelmark_text",
    "brelmark/include/brelmark/memory.hpp": "brelmark_text",
    "brelmark/include/brelmark/scan.hpp": "brelmark_text",
    "brelmark/src/entities/unicode.cpp": "brelmark_text",
    "brelmark/src/entities/at_once.cpp": "brelmark_text",
    "brelmark/src/entities/memory.cpp": "brelmark_text",
    "brelmark/": "brelmark",
    "src/record/": "record",
    "src/formats/": "formats",
    "src/ltm/": "ltm",
    "src/py/members.hpp": "py_records",
    "src/py/dict.": "py_records",
    "src/py/utf8_str.": "py_records",
    "src/py/": "py",
    "src/classes/": "classes",
    "tests/cpp/oracles/": "oracles",
}

# What each part may include besides its own files. "Python" is <Python.h>; every other header
# from outside the tree may be included anywhere.
MAY_INCLUDE = {
    "brelmark_text": set(),
    "brelmark": {"brelmark_text"},
    "record": {"brelmark_text"},
    "formats": {"record", "brelmark_text"},
    "ltm": {"record", "brelmark", "brelmark_text"},
    "py": {"Python"},
    "py_records": {"py", "record", "formats", "brelmark_text", "Python"},
    "classes": {"py", "py_records", "ltm", "formats", "record", "brelmark", "brelmark_text", "Python"},
    # Test only: the value trees that the tests and benchmarks check the record writers against.
    "oracles": {"formats", "record", "brelmark_text"},
}

CHECKED = ("brelmark", "src", "tests/cpp/oracles")
SOURCE_SUFFIXES = {".cpp", ".hpp", ".h", ".inc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def part_of(path):
    """The part of a path from the top of the tree, or None."""
    prefixes = [p for p in PARTS if path.startswith(p)]
    return PARTS[max(prefixes, key=len)] if prefixes else None


def included_path(including, bracket, name):
    """The path from the top of the tree that an include line names, "Python" for <Python.h>, or
    None for a header from outside the tree. Quoted names without a folder are beside the
    including file; src/ and brelmark/include/ are the include directories."""
    if name == "Python.h":
        return "Python"
    if name.startswith("brelmark/"):
        return "brelmark/include/" + name
    if bracket == "<":
        return None
    if "/" not in name:
        return str(Path(including).parent / name)
    return "src/" + name


def violations(root):
    """Every include line under the checked folders of `root` that breaks the rules, and every
    source file there that belongs to no part."""
    found = []
    for top in CHECKED:
        for file in sorted((root / top).rglob("*")):
            if file.suffix not in SOURCE_SUFFIXES or not file.is_file():
                continue
            path = file.relative_to(root).as_posix()
            part = part_of(path)
            if part is None:
                found.append(f"{path}: belongs to no part (add it to PARTS)")
                continue
            lines = file.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = included_path(path, *match.groups())
                if target is None:
                    continue
                target_part = "Python" if target == "Python" else part_of(target)
                if target_part not in (part, None) and target_part not in MAY_INCLUDE[part]:
                    found.append(f"{path}:{number}: {part} includes {match.group(2)} ({target_part})")
    return found


def test_the_tree_keeps_the_rules():
    assert violations(ROOT) == []


# (file, include line) that break a rule.
BREAKING = [
    ("brelmark/src/entities/x.cpp", '#include "ltm/ltm.hpp"'),
    ("brelmark/include/brelmark/unicode.hpp", '#include "brelmark/grammar.hpp"'),
    ("src/record/x.cpp", '#include "formats/json.hpp"'),
    ("src/record/x.cpp", "#include <brelmark/grammar.hpp>"),
    ("src/formats/x.cpp", '#include "ltm/ltm.hpp"'),
    ("src/formats/x.cpp", '#include "classes/classes.hpp"'),
    ("src/formats/x.cpp", '#include "py/ref.hpp"'),
    ("src/formats/x.cpp", "#  include <Python.h>"),
    ("src/formats/x.cpp", "#include <brelmark/path.hpp>"),
    ("src/ltm/x.cpp", '#include "formats/json.hpp"'),
    ("src/ltm/x.cpp", '#include "py/class.hpp"'),
    ("src/ltm/x.cpp", '#include "classes/classes.hpp"'),
    ("src/ltm/x.cpp", "#include <Python.h>"),
    ("src/py/x.cpp", '#include "record/record.hpp"'),
    ("src/py/x.cpp", '#include "formats/json.hpp"'),
    ("src/py/x.cpp", '#include "ltm/ltm.hpp"'),
    ("src/py/class.hpp", '#include "dict.hpp"'),
    ("src/py/dict.cpp", '#include "classes/classes.hpp"'),
    ("src/x.cpp", '#include "py/ref.hpp"'),
    ("tests/cpp/oracles/x.cpp", '#include "ltm/ltm.hpp"'),
    ("tests/cpp/oracles/x.cpp", '#include "py/ref.hpp"'),
]

# (file, include line) that keep them.
KEEPING = [
    ("src/py/dict.cpp", '#include "record/record.hpp"'),
    ("src/py/members.hpp", '#include "formats/json.hpp"'),
    ("src/py/x.cpp", "#include <Python.h>"),
    ("src/formats/x.cpp", "#include <brelmark/at_once.hpp>"),
    ("src/formats/x.cpp", "#include <re2/re2.h>"),
    ("src/ltm/x.cpp", '#include "record/record.hpp"'),
    ("src/ltm/x.cpp", "#include <brelmark/grammar.hpp>"),
    ("src/ltm/x.cpp", '// #include "py/class.hpp"'),
    ("src/classes/x.cpp", '#include "py/members.hpp"'),
    ("brelmark/src/entities/ltm/x.cpp", '#include "body.hpp"'),
    ("tests/cpp/oracles/x.cpp", '#include "formats/toml.hpp"'),
    ("tests/cpp/oracles/x.cpp", '#include "json_value.hpp"'),
]


def tree_with(tmp_path, file, line):
    (tmp_path / "src").mkdir()
    (tmp_path / "brelmark").mkdir()
    path = tmp_path / file
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(f"#pragma once\n{line}\n", encoding="utf-8")
    return tmp_path


@pytest.mark.parametrize("file, line", BREAKING)
def test_a_breaking_include_is_reported(tmp_path, file, line):
    found = violations(tree_with(tmp_path, file, line))
    assert len(found) == 1 and found[0].startswith(file + ":")


@pytest.mark.parametrize("file, line", KEEPING)
def test_an_allowed_include_is_not_reported(tmp_path, file, line):
    assert violations(tree_with(tmp_path, file, line)) == []
