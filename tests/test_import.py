import quilvarn


def test_module_name():
    assert quilvarn.__name__ == "quilvarn"
