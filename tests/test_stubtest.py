"""The type stub as type checkers read it: mypy's stubtest imports the module and compares every
class, method, signature and attribute with the stub (about two seconds a run).

mypy takes no single-file stub from site-packages, so each run gets a folder of its own on
MYPYPATH holding the stub as installed beside the module (or the source tree's), and runs in it,
where stubtest leaves its cache."""
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

from test_stub import STUB

ALLOWLIST = Path(__file__).with_name("stubtest-allowlist.txt")

pytestmark = pytest.mark.skipif(
    importlib.util.find_spec("mypy") is None,
    reason="mypy is not installed: stubtest comes with Debian's python3-mypy (scripts/install-deps test)")


def stubtest(folder, stub_text, allowlist_text):
    """stubtest's exit code and output for the module against this stub and allowlist."""
    (folder / "quilvarn.pyi").write_text(stub_text)
    allowlist = folder / "allowlist.txt"
    allowlist.write_text(allowlist_text)
    result = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "quilvarn", "--allowlist", str(allowlist)],
        cwd=folder, env={**os.environ, "MYPYPATH": str(folder)},
        capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout + result.stderr


def test_stub_passes_stubtest(tmp_path):
    code, output = stubtest(tmp_path, STUB.read_text(), ALLOWLIST.read_text())
    assert code == 0, output
    assert "Success: no issues found in 1 module" in output


def replace_once(text, old, new=""):
    assert old in text
    return text.replace(old, new, 1)


# Each fault, made in a copy of the stub or the allowlist, and the error stubtest reports for it.
FAULTS = [
    pytest.param(lambda stub: replace_once(stub, "@final\nclass LtmPath:", "class LtmPath:"), None,
                 "error: quilvarn.LtmPath cannot be subclassed at runtime, but isn't marked with @final",
                 id="class-not-final"),
    pytest.param(lambda stub: stub.replace("_Profile", "Profile"), None,
                 "error: quilvarn.Profile is not present at runtime", id="profile-importable"),
    pytest.param(None, lambda allow: replace_once(allow, "quilvarn.Snat.__repr_\n"),
                 "error: quilvarn.Snat.__repr_ is not present at runtime", id="repr-not-allowed"),
    pytest.param(None, lambda allow: allow + "quilvarn.Pool.no_such_method\n",
                 "note: unused allowlist entry quilvarn.Pool.no_such_method", id="stale-allowlist-entry"),
]


@pytest.mark.parametrize("change_stub,change_allowlist,error", FAULTS)
def test_stubtest_reports_a_fault(tmp_path, change_stub, change_allowlist, error):
    stub, allow = STUB.read_text(), ALLOWLIST.read_text()
    code, output = stubtest(tmp_path, change_stub(stub) if change_stub else stub,
                            change_allowlist(allow) if change_allowlist else allow)
    assert code == 1
    assert error in output, output
