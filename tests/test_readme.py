"""Every Python example of README.md runs, in order, each in a fresh namespace, and every output
shown after a print() call (an inline comment, or the comment lines right below it) is what that
call prints."""
import io
import re
import sys
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[1] / "README.md"
BLOCKS = re.findall(r"^```python\n(.*?)^```$", README.read_text(), flags=re.S | re.M)


def shown_outputs(source):
    """Line number of each print() call that shows its output -> the output shown."""
    lines = source.splitlines()
    shown = {}
    for number, line in enumerate(lines, start=1):
        if not line.startswith("print("):
            continue
        inline = re.search(r"\)\s+# (.*)$", line)
        if inline:
            shown[number] = inline.group(1) + "\n"
            continue
        below = []
        for following in lines[number:]:
            if not following.startswith("#"):
                break
            below.append(following[2:] + "\n")
        if below:
            shown[number] = "".join(below)
    return shown


def test_examples_show_every_class():
    import quilvarn
    shown = "".join(BLOCKS)
    assert BLOCKS
    assert [name for name in quilvarn.__all__ if not re.search(rf"\b{name}\(", shown)] == []


@pytest.mark.parametrize("index", range(len(BLOCKS)))
def test_example_runs_and_prints_what_it_shows(index):
    source = BLOCKS[index]
    printed = {}

    def recording_print(*args, **kwargs):
        out = io.StringIO()
        print(*args, file=out, **{k: v for k, v in kwargs.items() if k != "file"})
        printed[sys._getframe(1).f_lineno] = out.getvalue()

    namespace = {"__name__": f"readme_example_{index}", "print": recording_print}
    exec(compile(source, f"README.md example {index + 1}", "exec"), namespace)
    for line, output in shown_outputs(source).items():
        assert printed.get(line) == output, f"README.md example {index + 1}, line {line}"
