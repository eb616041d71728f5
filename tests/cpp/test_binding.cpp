// The module's binding layer, exercised through an embedded interpreter with two test classes:
// borrows and their conflicts through re-entrant callbacks, setter order and conversion texts,
// write-only attributes, list conversion, object lifetime and the entry guard's translations.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "py/class.hpp"

namespace {

int leaves_alive = 0;

struct Leaf {
  std::string name;
  Leaf() { ++leaves_alive; }
  explicit Leaf(std::string n) : name(std::move(n)) { ++leaves_alive; }
  Leaf(const Leaf& other) : name(other.name) { ++leaves_alive; }
  Leaf(Leaf&& other) noexcept : name(std::move(other.name)) { ++leaves_alive; }
  Leaf& operator=(const Leaf&) = default;
  Leaf& operator=(Leaf&&) = default;
  ~Leaf() { --leaves_alive; }
};

struct Probe {
  std::string text;
  std::uint16_t number = 0;
  bool flag = false;
  std::optional<std::string> note;
  std::vector<std::string> words;
  std::vector<Leaf> leaves;
  std::string secret;
};

}  // namespace

namespace qv::py {
template <>
struct ClassInfo<Leaf> {
  static constexpr const char* name = "Leaf";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<Probe> {
  static constexpr const char* name = "Probe";
  static std::span<const Item> items();
};
}  // namespace qv::py

namespace {

using qv::py::Arguments;
using qv::py::ArgumentSpec;
using qv::py::Ref;

constexpr ArgumentSpec kLeafNew{"Leaf", "__new__", {"name"}, 1};
constexpr ArgumentSpec kCall{"Probe", "call", {"callback"}, 1};
constexpr ArgumentSpec kScaled{"Probe", "scaled", {"factor", "offset"}, 1};

Leaf leaf_new(const Arguments& args) { return Leaf(args.get<std::string>(0)); }
std::string leaf_repr(const Leaf& leaf) { return "Leaf(" + leaf.name + ")"; }

Probe probe_new() { return Probe{}; }
std::string probe_str(const Probe& probe) { return "Probe " + probe.text; }

// Calls back into Python while the receiver is borrowed (shared).
Ref probe_call(const Probe&, const Arguments& args) {
  return qv::py::checked(PyObject_CallNoArgs(args.raw(0)));
}

std::uint16_t probe_scaled(const Probe& probe, const Arguments& args) {
  auto factor = args.get<std::uint16_t>(0);
  auto offset = args.get_optional<std::uint16_t>(1).value_or(0);
  return static_cast<std::uint16_t>(probe.number * factor + offset);
}

void probe_set_secret(Probe& probe, PyObject* value) { probe.secret = qv::py::convert<std::string>(value); }
std::string probe_get_secret_length(const Probe& probe) { return std::to_string(probe.secret.size()); }

std::string probe_fault(const Probe&) { qv::py::fault("the probe broke"); }
std::string probe_bad_alloc(const Probe&) { throw std::bad_alloc(); }
std::string probe_std_error(const Probe&) { throw std::runtime_error("a library failed"); }
Ref probe_no_error_set(const Probe&) { throw qv::py::ErrorAlreadySet{}; }


Probe probe_make_static(const Arguments& args) {
  Probe p;
  p.text = args.get<std::string>(0);
  return p;
}
constexpr ArgumentSpec kMake{"Probe", "make", {"text"}, 1};

}  // namespace

namespace qv::py {

std::span<const Item> ClassInfo<Leaf>::items() {
  static constexpr auto table = item_table(
      field<&Leaf::name>("name"),
      slot_new<kLeafNew, &leaf_new>(),
      slot_repr<&leaf_repr>());
  return table;
}

std::span<const Item> ClassInfo<Probe>::items() {
  static constexpr auto table = item_table(
      field<&Probe::text>("text"),
      field<&Probe::number>("number"),
      field<&Probe::flag>("flag"),
      field<&Probe::note>("note"),
      field<&Probe::words>("words"),
      field<&Probe::leaves>("leaves"),
      setter_of<&probe_set_secret>("secret"),
      getter_of<&probe_get_secret_length>("secret_length"),
      method<kCall, &probe_call>("call"),
      method<kScaled, &probe_scaled>("scaled"),
      method<&probe_fault>("fault"),
      method<&probe_bad_alloc>("bad_alloc"),
      method<&probe_std_error>("std_error"),
      method<&probe_no_error_set>("no_error_set"),
      static_method<kMake, &probe_make_static>("make"),
      slot_new_any<&probe_new>(),
      slot_str<&probe_str>());
  return table;
}

}  // namespace qv::py

namespace {

PyObject* main_dict() { return PyModule_GetDict(PyImport_AddModule("__main__")); }

// Runs statements in __main__; an uncaught exception fails the test.
void run(const char* code) {
  Ref result = Ref::steal(PyRun_String(code, Py_file_input, main_dict(), main_dict()));
  if (!result) {
    PyErr_Print();
    FAIL() << "Python code failed:\n" << code;
  }
}

// The str() of an expression evaluated in __main__.
std::string eval(const std::string& expression) {
  Ref result = Ref::steal(PyRun_String(expression.c_str(), Py_eval_input, main_dict(), main_dict()));
  if (!result) {
    PyErr_Print();
    ADD_FAILURE() << "Python expression failed: " << expression;
    return {};
  }
  Ref text = Ref::steal(PyObject_Str(result.get()));
  return PyUnicode_AsUTF8(text.get());
}

class Interpreter : public ::testing::Environment {
 public:
  void SetUp() override {
    Py_InitializeEx(0);
    PyDict_SetItemString(main_dict(), "Probe", reinterpret_cast<PyObject*>(qv::py::Class<Probe>::type()));
    PyDict_SetItemString(main_dict(), "Leaf", reinterpret_cast<PyObject*>(qv::py::Class<Leaf>::type()));
    run(R"(
def error_of(f):
    try:
        f()
    except BaseException as e:
        return f"{type(e).__name__}: {e}"
    return "no error"
)");
  }
};

const auto* const interpreter = ::testing::AddGlobalTestEnvironment(new Interpreter);

struct Case {
  const char* expression;
  const char* expected;
};

void expect_all(const char* setup, std::initializer_list<Case> cases) {
  run(setup);
  for (const Case& c : cases) EXPECT_EQ(eval(c.expression), c.expected) << c.expression;
}

TEST(Binding, TypeCellCreatesOneTypePerClass) {
  PyTypeObject* first = qv::py::Class<Probe>::type();
  EXPECT_EQ(first, qv::py::Class<Probe>::type());
  EXPECT_NE(reinterpret_cast<PyObject*>(first), reinterpret_cast<PyObject*>(qv::py::Class<Leaf>::type()));
  expect_all("", {
      {"Probe.__module__, Probe.__name__, Probe.__qualname__", "('builtins', 'Probe', 'Probe')"},
      {"error_of(lambda: type('Sub', (Probe,), {}))",
       "TypeError: type 'builtins.Probe' is not an acceptable base type"},
      {"error_of(lambda: setattr(Probe(), 'other', 1))", "AttributeError: 'builtins.Probe' object has no attribute 'other'"},
  });
}

TEST(Binding, ConstructorWithoutSpecIgnoresArguments) {
  expect_all("", {
      {"str(Probe(1, 2, x=3))", "Probe "},
      {"repr(Leaf('a')), repr(Leaf(name='b'))", "('Leaf(a)', 'Leaf(b)')"},
      {"error_of(lambda: Leaf())", "TypeError: Leaf.__new__() missing 1 required positional argument: 'name'"},
  });
}

TEST(Binding, SharedBorrowWhileExclusiveRaisesAlreadyMutablyBorrowed) {
  // The setter holds the exclusive borrow while it converts the value; the conversion calls
  // __index__, which reads the same object.
  expect_all(R"(
p = Probe()
p.text = "kept"
class ReadsBack:
    def __index__(self):
        return len(p.text)
)", {
      {"error_of(lambda: setattr(p, 'number', ReadsBack()))", "RuntimeError: Already mutably borrowed"},
      {"p.number, p.text", "(0, 'kept')"},  // nothing changed, both borrows released
      {"error_of(lambda: setattr(p, 'number', 7)), p.number", "('no error', 7)"},
  });
}

TEST(Binding, ExclusiveBorrowWhileSharedRaisesAlreadyBorrowed) {
  // A method holds a shared borrow while it calls back into Python, which writes the object.
  expect_all(R"(
p = Probe()
p.text = "before"
def writes():
    p.text = "after"
def deletes():
    del p.text
def reads():
    return p.text + "/" + p.call(lambda: p.text)   # shared borrows nest
)", {
      {"error_of(lambda: p.call(writes))", "RuntimeError: Already borrowed"},
      {"error_of(lambda: p.call(deletes))", "RuntimeError: Already borrowed"},  // borrow before deletion
      {"p.call(reads)", "before/before"},
      {"p.text", "before"},
      {"error_of(writes), p.text", "('no error', 'after')"},
  });
}

TEST(Binding, SetterChecksDeletionThenConversion) {
  expect_all("p = Probe(); p.text = 'x'; p.words = ['a', 'b']; p.number = 3", {
      {"error_of(lambda: delattr(p, 'text'))", "AttributeError: can't delete attribute"},
      {"error_of(lambda: delattr(p, 'secret'))", "AttributeError: can't delete attribute"},
      {"error_of(lambda: setattr(p, 'text', 5))", "TypeError: 'int' object cannot be converted to 'PyString'"},
      {"error_of(lambda: setattr(p, 'text', None))",
       "TypeError: 'NoneType' object cannot be converted to 'PyString'"},
      {"error_of(lambda: setattr(p, 'flag', 1))", "TypeError: 'int' object cannot be converted to 'PyBool'"},
      {"error_of(lambda: setattr(p, 'words', 'ab'))", "ValueError: Can't extract `str` to `Vec`"},
      {"error_of(lambda: setattr(p, 'words', 5))", "TypeError: 'int' object cannot be converted to 'Sequence'"},
      {"error_of(lambda: setattr(p, 'words', {'a'}))", "TypeError: 'set' object cannot be converted to 'Sequence'"},
      {"error_of(lambda: setattr(p, 'words', ['c', 1]))", "TypeError: 'int' object cannot be converted to 'PyString'"},
      {"error_of(lambda: setattr(p, 'number', -1))", "OverflowError: out of range integral type conversion attempted"},
      {"error_of(lambda: setattr(p, 'number', 65536))",
       "OverflowError: out of range integral type conversion attempted"},
      {"error_of(lambda: setattr(p, 'number', 2**80))", "OverflowError: Python int too large to convert to C long"},
      {"error_of(lambda: setattr(p, 'number', '5'))", "TypeError: 'str' object cannot be interpreted as an integer"},
      {"error_of(lambda: setattr(p, 'number', 1.0))", "TypeError: 'float' object cannot be interpreted as an integer"},
      {"error_of(lambda: setattr(p, 'leaves', [Leaf('a'), 'b']))",
       "TypeError: 'str' object cannot be converted to 'Leaf'"},
      // every failure left the fields as they were
      {"p.text, p.words, p.number, p.leaves, p.flag", "('x', ['a', 'b'], 3, [], False)"},
  });
}

TEST(Binding, SetterConversions) {
  expect_all("p = Probe()", {
      {"setattr(p, 'number', True) or p.number", "1"},
      {"setattr(p, 'number', 65535) or p.number", "65535"},
      {"setattr(p, 'words', ('x', 'y')) or p.words", "['x', 'y']"},
      {"setattr(p, 'words', []) or p.words", "[]"},
      {"setattr(p, 'note', 'n') or p.note", "n"},
      {"setattr(p, 'note', None) or p.note", "None"},
      {"setattr(p, 'flag', True) or p.flag", "True"},
      {"p.words is p.words", "False"},
  });
}

TEST(Binding, WriteOnlyAttribute) {
  expect_all("p = Probe(); p.secret = 'abc'", {
      {"p.secret_length", "3"},
      {"error_of(lambda: p.secret)", "AttributeError: attribute 'secret' of 'builtins.Probe' objects is not readable"},
      {"error_of(lambda: setattr(p, 'secret_length', '1'))",
       "AttributeError: attribute 'secret_length' of 'builtins.Probe' objects is not writable"},
  });
}

TEST(Binding, ListAttributesHandOutNewObjectsHoldingCopies) {
  expect_all(R"(
p = Probe()
p.leaves = [Leaf("one"), Leaf("two"), Leaf("three")]
first = p.leaves
second = p.leaves
first[0].name = "changed"
)", {
      {"[l.name for l in p.leaves]", "['one', 'two', 'three']"},
      {"first is second, first[0] is second[0]", "(False, False)"},
      {"first[0].name, second[0].name", "('changed', 'one')"},
      {"type(first[1]).__name__, type(first[1]).__module__", "('Leaf', 'builtins')"},
      {"setattr(p, 'leaves', []) or p.leaves", "[]"},
  });
}

TEST(Binding, ValuesAreDroppedWithTheirObjects) {
  run("import gc; gc.collect()");
  int before = leaves_alive;
  run("kept = [Leaf(str(i)) for i in range(50)]; p = Probe(); p.leaves = kept; copies = p.leaves");
  EXPECT_EQ(leaves_alive, before + 150);
  run("del kept, copies, p; gc.collect()");
  EXPECT_EQ(leaves_alive, before);
}

TEST(Binding, MethodArgumentsAndPrefixedConversionErrors) {
  expect_all(R"(
p = Probe(); p.number = 5
class Fails:
    def __index__(self):
        raise TypeError("inner") from KeyError("why")
def cause_of(f):
    try:
        f()
    except TypeError as e:
        return repr(e.__cause__)
)", {
      {"p.scaled(2), p.scaled(2, 1), p.scaled(factor=3, offset=None), p.scaled(offset=1, factor=1)",
       "(10, 11, 15, 6)"},
      {"error_of(lambda: p.scaled())", "TypeError: Probe.scaled() missing 1 required positional argument: 'factor'"},
      {"error_of(lambda: p.scaled(1, 2, 3))",
       "TypeError: Probe.scaled() takes from 1 to 2 positional arguments but 3 were given"},
      {"error_of(lambda: p.scaled(1, offset=2, factor=3))",
       "TypeError: Probe.scaled() got multiple values for argument 'factor'"},
      {"error_of(lambda: p.scaled('2'))",
       "TypeError: argument 'factor': 'str' object cannot be interpreted as an integer"},
      {"error_of(lambda: p.scaled(1, -1))",
       "OverflowError: out of range integral type conversion attempted"},  // not a TypeError: no prefix
      {"error_of(lambda: p.scaled(Fails()))", "TypeError: argument 'factor': inner"},
      {"cause_of(lambda: p.scaled(Fails()))", "KeyError('why')"},
      {"Probe.make('t').text, Probe.make(text='u').text", "('t', 'u')"},
      {"error_of(lambda: Probe.make(t=1))", "TypeError: Probe.make() got an unexpected keyword argument 't'"},
  });
}

TEST(Binding, InternalFaultBecomesPanicException) {
  run("p = Probe()");
  testing::internal::CaptureStderr();
  std::string error = eval("error_of(p.fault)");
  std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(error, "PanicException: the probe broke");
  EXPECT_NE(printed.find("the probe broke"), std::string::npos) << printed;
  EXPECT_NE(printed.find("test_binding.cpp:"), std::string::npos) << printed;  // the source place
  expect_all(R"(
def panic():
    try:
        p.fault()
    except Exception:
        return "caught as Exception"
    except BaseException as e:
        return e
)", {
      {"type(panic()).__name__, type(panic()).__qualname__", "('PanicException', 'PanicException')"},
      {"type(panic()).__bases__ == (BaseException,), panic().args", "(True, ('the probe broke',))"},
      {"type(panic()) is type(panic())", "True"},  // created once
      {"error_of(p.std_error)", "PanicException: a library failed"},
      {"error_of(p.bad_alloc)", "MemoryError: "},
      {"error_of(p.no_error_set)", "SystemError: attempted to fetch exception but none was set"},
      {"p.call(lambda: 'still usable')", "still usable"},
  });
}

TEST(Binding, ExtractAndNewInstance) {
  Probe value;
  value.text = "made in C++";
  Ref object = qv::py::new_instance(std::move(value));
  Probe copy = qv::py::extract<Probe>(object.get());
  EXPECT_EQ(copy.text, "made in C++");

  Ref number = Ref::steal(PyLong_FromLong(1));
  EXPECT_THROW(qv::py::extract<Probe>(number.get()), qv::py::ErrorAlreadySet);
  EXPECT_EQ(qv::py::take_error_description(), "TypeError(\"'int' object cannot be converted to 'Probe'\")");

  Ref list = qv::py::pylist_from(std::vector<Leaf>{Leaf("x"), Leaf("y")});
  ASSERT_EQ(PyList_GET_SIZE(list.get()), 2);
  EXPECT_EQ(qv::py::extract<Leaf>(PyList_GET_ITEM(list.get(), 1)).name, "y");
}

}  // namespace
