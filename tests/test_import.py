"""Importing the module: its definition, its registrations and its one-time initialisation."""
import subprocess
import sys
import textwrap

import quilvarn

# The order in which the module registers its classes; a class appears once it exists.
REGISTRATION_ORDER = [
    "LTM", "partition", "PoolMember", "MemberFqdn", "Pool", "Virtual", "Snat", "SnatPool", "LtmPath",
]


def test_module_definition():
    assert quilvarn.__name__ == "quilvarn"
    assert quilvarn.__doc__ == ""
    assert not hasattr(quilvarn, "Profile")


def test_all_lists_the_registered_classes_in_registration_order():
    names = quilvarn.__all__
    assert type(names) is list
    assert "LtmPath" in names
    assert "Profile" not in names
    assert names == [n for n in REGISTRATION_ORDER if n in names]
    assert len(set(names)) == len(names)


def test_module_attributes_are_exactly_the_registered_classes():
    public = {n for n in vars(quilvarn) if not n.startswith("__")}
    assert public == set(quilvarn.__all__)
    for name in quilvarn.__all__:
        assert isinstance(getattr(quilvarn, name), type)
    # no module-level functions
    assert not [v for v in vars(quilvarn).values() if callable(v) and not isinstance(v, type)]


def run_python(code):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=60)


def test_second_initialisation_in_the_process_raises_import_error():
    result = run_python("""
        import sys
        import quilvarn
        first = quilvarn
        del sys.modules["quilvarn"]
        try:
            import quilvarn
        except ImportError as e:
            print("ImportError:", e)
        else:
            print("imported again")
        # the first module object keeps working
        print(first.LtmPath("/Common/vs").get_name())
    """)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines == [
        "ImportError: the quilvarn module may only be initialized once per interpreter process",
        "vs",
    ]


def test_loading_the_library_twice_through_importlib_raises_import_error():
    result = run_python("""
        import importlib.machinery, importlib.util
        import quilvarn
        spec = importlib.util.spec_from_file_location(
            "quilvarn", quilvarn.__file__, loader=importlib.machinery.ExtensionFileLoader("quilvarn", quilvarn.__file__))
        try:
            importlib.util.module_from_spec(spec)
        except ImportError as e:
            print("ImportError:", e)
        else:
            print("created again")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ImportError: the quilvarn module may only be initialized once")
