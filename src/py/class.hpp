#pragma once
// The Python classes of the model: object layout, borrows, type objects and member entries.
//
// How a class plugs in
// --------------------
// 1. The value type is a record of the model (src/ltm/), e.g. `struct Snat { Text type_; Text pool; };`.
// 2. src/classes/classes.hpp declares its class:
//        template <> struct qv::py::ClassInfo<Snat> {
//          static constexpr const char* name = "Snat";            // Python name, also "builtins.Snat"
//          static std::span<const qv::py::Item> items();          // the member table
//        };
// 3. Its file in src/classes/ writes the member bodies as ordinary functions over the value, in an
//    anonymous namespace, and lists the members in one constant table, made by item_table from items
//    and groups of items in member order (a sketch; the item makers are below):
//        constexpr qv::py::ArgumentSpec kSnatNew{"Snat", "__new__", {"input"}, 1};
//        Snat snat_body_new(const qv::py::Arguments& a);          // a.get<std::string_view>(0) ...
//        std::string snat_body_get_label(const Snat& s);          // any result to_py() knows
//        void snat_body_set_label(Snat& s, PyObject* value);      // py::convert<std::string>(value) ...
//        std::span<const Item> ClassInfo<Snat>::items() {
//          static constexpr auto table = item_table(
//              field<&Snat::type_>("type_"),                       // getter and setter of a field
//              getter_of<&snat_body_get_label>("label"),
//              setter_of<&snat_body_set_label>("label"),           // entries of one name merge
//              static_method<&record_new_default<Snat>>("new_default"),
//              record_writers<Snat>(),                             // a group (py/members.hpp)
//              method<&snat_repr>("__repr_"),                      // a model function of a body's shape
//              slot_new<kSnatNew, &snat_body_new>(),
//              slot_str<&snat_str>());
//          return table;
//        }
// 4. A registered class adds one line to the registration table in module.cpp, and every class's
//    members are declared in the type stub src/quilvarn.pyi (tests/test_stub.py compares the two).
//
// Names in the class files
// ------------------------
// - A member body is `<class>_body_<member>`: the Python class name in lower case and run together
//   (`ltm`, `poolmember`, `ltmpath`), then `body`, then the member with its verb: a method by its
//   Python name (`pool_body_get_full_path`), an attribute's getter and setter as `get_<attribute>`
//   and `set_<attribute>` (`virtual_body_set_name`), a slot or dunder method by its word
//   (`ltm_body_new`, `ltmpath_body_len`, `ltmpath_body_eq` for `__eq__`). The model names its own
//   functions `<class>_<member>` and `<class>_impl_<member>` (`virtual_str`, `ltmpath_impl_get_port`
//   behind `ltmpath_body_get_port`): `body` keeps a body apart from the function it calls, the class
//   keeps apart the classes of one file. No class has a method `get_<x>` beside a readable attribute
//   `<x>` (Pool's `partition` is write-only, read through `get_partition`), so the two never meet.
// - A table lists a model function itself where it already has a body's shape (`virtual_str`).
// - The argument spec of a member is `k<Class><Member>` (`kPoolGetFullPath`, `kLtmPathNew`).
// - What serves several classes is a template over the value type, named for what it is rather
//   than for a class: a group of items is a function returning them as a std::array
//   (`string_forms<T>()`, `path_name<T>()` in classes.hpp, `record_writers<T>()`), its bodies are
//   `<group>_<member>` (`string_forms_repr<T>`, `path_name_get<T>`) or, in py/members.hpp, live in
//   `record_detail`; a lone shared body says what it makes (`new_from_text<Parse, Convert>`,
//   `record_new_default<T>`).
//
// Everything else is done here: the receiver check ("'X' object cannot be converted to 'Snat'"),
// the shared borrow for methods, getters and slots and the exclusive borrow for setters (RuntimeError
// "Already mutably borrowed" / "Already borrowed"), the deletion check of setters ("can't delete
// attribute"), argument matching and conversion, the conversion of results, and the entry guard
// (py/error.hpp). Other code creates objects with new_instance<T>(value), copies values out of
// objects with extract<T>(object) and turns lists of values into lists of new objects with
// pylist_from<T>(values).
#include "py/args.hpp"

#include <array>
#include <new>
#include <source_location>
#include <span>
#include <tuple>

namespace qv::py {

// The object of every model class: the interpreter's header, the value, the borrow flag.
template <class T>
struct ClassObject {
  PyObject_HEAD
  T value;
  // 0: free; n > 0: n shared borrows; -1: one exclusive borrow.
  Py_ssize_t borrow_flag;
};

inline constexpr Py_ssize_t kExclusivelyBorrowed = -1;

[[noreturn]] void raise_already_mutably_borrowed();
[[noreturn]] void raise_already_borrowed();
[[noreturn]] void raise_cannot_delete();

// A shared borrow of an object's value, released when the guard goes.
template <class T>
class Shared {
 public:
  explicit Shared(ClassObject<T>* object) : object_(object) {
    if (object->borrow_flag == kExclusivelyBorrowed) raise_already_mutably_borrowed();
    ++object->borrow_flag;
  }
  Shared(Shared&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;
  ~Shared() {
    if (object_ != nullptr) --object_->borrow_flag;
  }

  const T& operator*() const noexcept { return object_->value; }
  const T* operator->() const noexcept { return &object_->value; }

 private:
  ClassObject<T>* object_;
};

// The exclusive borrow of an object's value, released when the guard goes.
template <class T>
class Exclusive {
 public:
  explicit Exclusive(ClassObject<T>* object) : object_(object) {
    if (object->borrow_flag != 0) raise_already_borrowed();
    object->borrow_flag = kExclusivelyBorrowed;
  }
  Exclusive(Exclusive&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Exclusive(const Exclusive&) = delete;
  Exclusive& operator=(const Exclusive&) = delete;
  ~Exclusive() {
    if (object_ != nullptr) object_->borrow_flag = 0;
  }

  T& operator*() const noexcept { return object_->value; }
  T* operator->() const noexcept { return &object_->value; }

 private:
  ClassObject<T>* object_;
};

// ---- Member tables ------------------------------------------------------------------------

// The entry function of a method or a slot, cast to the type of the interpreter's table (a method's
// PyCFunction, a slot's void*) by the function an item holds: a constant table cannot hold the cast
// itself, so it is made when the type is created.
using MethodFunction = PyCFunction (*)();
using SlotFunction = void* (*)();

// One entry of a class's member table.
struct Item {
  enum class Kind { method, attribute, slot };
  Kind kind;
  const char* name;  // methods and attributes
  // method
  MethodFunction function = nullptr;
  int flags = 0;
  const char* doc = "";
  // attribute: either side may be missing (read-only, write-only); entries of one name merge
  getter get = nullptr;
  setter set = nullptr;
  // slot
  int slot = 0;
  SlotFunction slot_function = nullptr;
  // constructor slot: the same construction for calls of the class itself, without the
  // argument tuple and dict (the type's vectorcall)
  vectorcallfunc construct = nullptr;
};

// Creates a heap type "builtins.<name>" from the member table; an internal fault on failure.
PyTypeObject* create_type_object(const char* name, Py_ssize_t basic_size, destructor dealloc,
                                 std::span<const Item> items);

// ---- The class of a value type --------------------------------------------------------------

template <ModelClass T>
struct Class {
  // The type object, created on first use and kept for the rest of the process (borrowed).
  static PyTypeObject* type() {
    static PyTypeObject* cell = nullptr;
    if (cell == nullptr) {
      PyTypeObject* created = create_type_object(ClassInfo<T>::name, sizeof(ClassObject<T>), &dealloc,
                                                 ClassInfo<T>::items());
      if (cell == nullptr) {
        cell = created;
      } else {  // a nested first use filled the cell meanwhile: the first one stays
        Py_DECREF(created);
      }
    }
    return cell;
  }

  static bool is_instance(PyObject* object) { return PyObject_TypeCheck(object, type()); }

  // The object as this class, or TypeError "'<its type>' object cannot be converted to '<name>'".
  static ClassObject<T>* downcast(PyObject* object) {
    if (!is_instance(object)) raise_cannot_convert(object, ClassInfo<T>::name);
    return reinterpret_cast<ClassObject<T>*>(object);
  }

  static Shared<T> borrow(PyObject* object) { return Shared<T>(downcast(object)); }
  static Exclusive<T> borrow_mut(PyObject* object) { return Exclusive<T>(downcast(object)); }

  // A new object of `type` (this class or a subtype) holding the value; the value is dropped
  // when the allocation fails.
  static Ref new_in(PyTypeObject* target, T&& value) {
    PyObject* object = nullptr;
    if (target == type() && target->tp_alloc == PyType_GenericAlloc) {
      // The class's own type: not garbage-collected and of fixed size, so the generic allocation
      // comes down to this (PyObject_Init also takes the reference to the heap type).
      object = static_cast<PyObject*>(PyObject_Malloc(sizeof(ClassObject<T>)));
      if (object == nullptr) {
        PyErr_NoMemory();
        raise_pending();
      }
      PyObject_Init(object, target);
    } else {
      allocfunc alloc = target->tp_alloc != nullptr ? target->tp_alloc : PyType_GenericAlloc;
      object = alloc(target, 0);
      if (object == nullptr) raise_pending();
    }
    auto* typed = reinterpret_cast<ClassObject<T>*>(object);
    ::new (static_cast<void*>(&typed->value)) T(std::move(value));
    typed->borrow_flag = 0;
    return Ref::steal(object);
  }
  static Ref new_instance(T&& value) { return new_in(type(), std::move(value)); }

 private:
  static void dealloc(PyObject* object) noexcept {
    reinterpret_cast<ClassObject<T>*>(object)->value.~T();
    PyTypeObject* object_type = Py_TYPE(object);
    object_type->tp_free(object);
    Py_DECREF(object_type);  // instances of heap types hold their type
  }
};

template <ModelClass T>
Ref new_instance(T&& value) {
  return Class<T>::new_instance(std::move(value));
}
template <ModelClass T>
Ref new_instance(const T& value) {
  return Class<T>::new_instance(T(value));
}

// A copy of the value of an object of class T (TypeError naming T, "Already mutably borrowed").
template <ModelClass T>
T extract(PyObject* object) {
  return T(*Class<T>::borrow(object));
}

// A new list of new objects, one per value, in order. Failing to create an object is MemoryError
// or an internal fault reported at `where`; the values not yet taken are dropped.
template <ModelClass T, class A>
Ref pylist_from(std::vector<T, A>&& values, std::source_location where = std::source_location::current()) {
  Ref list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
  for (std::size_t i = 0; i < values.size(); ++i) {
    Ref item;
    try {
      item = Class<T>::new_instance(std::move(values[i]));
    } catch (const ErrorAlreadySet&) {
      fault_pending(where);
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

template <ModelClass T>
struct From<T> {
  static T convert(PyObject* object) { return extract<T>(object); }
};

template <ModelClass T>
struct ToPy<T> {
  static Ref convert(const T& value) { return Class<T>::new_instance(T(value)); }
  static Ref convert(T&& value) { return Class<T>::new_instance(std::move(value)); }
};

template <ModelClass T, class A>
struct ToPy<std::vector<T, A>> {
  static Ref convert(const std::vector<T, A>& values) { return pylist_from(std::vector<T, A>(values)); }
  static Ref convert(std::vector<T, A>&& values) { return pylist_from(std::move(values)); }
};

// ---- Entry functions ----------------------------------------------------------------------

namespace detail {

template <class F>
struct Signature;
template <class R, class... A>
struct Signature<R (*)(A...)> {
  using result = R;
  template <std::size_t I>
  using arg = std::remove_cvref_t<std::tuple_element_t<I, std::tuple<A...>>>;
};

// The value type of a body whose first parameter is the receiver's value.
template <auto Body>
using receiver_t = typename Signature<decltype(Body)>::template arg<0>;
// The value type a constructor body returns.
template <auto Body>
using result_t = std::remove_cvref_t<typename Signature<decltype(Body)>::result>;

template <auto Body>
PyObject* method_noargs(PyObject* self, PyObject*) noexcept {
  using T = receiver_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Shared<T> value = Class<T>::borrow(self);
    return to_py(Body(*value)).release();
  });
}

template <const ArgumentSpec& Spec, auto Body>
PyObject* method_fast(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  using T = receiver_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Shared<T> value = Class<T>::borrow(self);
    Arguments arguments(Spec, args, nargs, kwnames);
    return to_py(Body(*value, arguments)).release();
  });
}

template <auto Body>
PyObject* static_noargs(PyObject*, PyObject*) noexcept {
  return entry<PyObject*>(nullptr, [&] { return to_py(Body()).release(); });
}

template <const ArgumentSpec& Spec, auto Body>
PyObject* static_fast(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return entry<PyObject*>(nullptr, [&] {
    Arguments arguments(Spec, args, nargs, kwnames);
    return to_py(Body(arguments)).release();
  });
}

template <auto Body>
PyObject* get_entry(PyObject* self, void*) noexcept {
  using T = receiver_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Shared<T> value = Class<T>::borrow(self);
    return to_py(Body(*value)).release();
  });
}

// Receiver, exclusive borrow, deletion, then the body's conversion of the value.
template <auto Body>
int set_entry(PyObject* self, PyObject* new_value, void*) noexcept {
  using T = receiver_t<Body>;
  return entry<int>(-1, [&] {
    Exclusive<T> value = Class<T>::borrow_mut(self);
    if (new_value == nullptr) raise_cannot_delete();
    Body(*value, new_value);
    return 0;
  });
}

template <const ArgumentSpec& Spec, auto Body>
PyObject* new_entry(PyTypeObject* target, PyObject* args, PyObject* kwargs) noexcept {
  using T = result_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Arguments arguments(Spec, args, kwargs);
    return Class<T>::new_in(target, Body(arguments)).release();
  });
}

template <const ArgumentSpec& Spec, auto Body>
PyObject* construct_entry(PyObject* target, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
  using T = result_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Arguments arguments(Spec, args, PyVectorcall_NARGS(nargsf), kwnames);
    return Class<T>::new_in(reinterpret_cast<PyTypeObject*>(target), Body(arguments)).release();
  });
}

template <auto Body>
PyObject* new_any_entry(PyTypeObject* target, PyObject*, PyObject*) noexcept {
  using T = result_t<Body>;
  return entry<PyObject*>(nullptr, [&] { return Class<T>::new_in(target, Body()).release(); });
}

template <auto Body>
PyObject* unary_entry(PyObject* self) noexcept {
  using T = receiver_t<Body>;
  return entry<PyObject*>(nullptr, [&] {
    Shared<T> value = Class<T>::borrow(self);
    return to_py(Body(*value)).release();
  });
}

template <auto Body>
Py_ssize_t length_entry(PyObject* self) noexcept {
  using T = receiver_t<Body>;
  return entry<Py_ssize_t>(-1, [&] {
    Shared<T> value = Class<T>::borrow(self);
    std::size_t length = Body(*value);
    if (length > static_cast<std::size_t>(PY_SSIZE_T_MAX)) raise(PyExc_OverflowError, "length too large");
    return static_cast<Py_ssize_t>(length);
  });
}

template <auto Body>
int bool_entry(PyObject* self) noexcept {
  using T = receiver_t<Body>;
  return entry<int>(-1, [&] {
    Shared<T> value = Class<T>::borrow(self);
    return Body(*value) ? 1 : 0;
  });
}

template <class T, class F, F T::*Field>
auto field_get(const T& value) -> const F& {
  return value.*Field;
}
template <class T, class F, F T::*Field>
void field_set(T& value, PyObject* new_value) {
  F converted = convert<F>(new_value);  // the field is replaced only on success
  value.*Field = std::move(converted);
}

template <auto Field>
struct FieldTraits;
template <class T, class F, F T::*Field>
struct FieldTraits<Field> {
  static constexpr auto get = &field_get<T, F, Field>;
  static constexpr auto set = &field_set<T, F, Field>;
};

template <auto Entry>
PyCFunction method_function() noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Entry));
}
template <auto Entry>
void* slot_function() noexcept {
  return reinterpret_cast<void*>(Entry);
}

// What item_table takes: one item, or a group of items.
template <class Part>
inline constexpr std::size_t item_count = 1;
template <std::size_t N>
inline constexpr std::size_t item_count<std::array<Item, N>> = N;

constexpr std::span<const Item> items_of(const Item& item) { return {&item, 1}; }
template <std::size_t N>
constexpr std::span<const Item> items_of(const std::array<Item, N>& group) {
  return group;
}

}  // namespace detail

// Instance method without arguments: Body(const T&) -> result.
template <auto Body>
constexpr Item method(const char* name, const char* doc = "") {
  return {.kind = Item::Kind::method, .name = name,
          .function = &detail::method_function<&detail::method_noargs<Body>>,
          .flags = METH_NOARGS, .doc = doc};
}

// Instance method with arguments: Body(const T&, const Arguments&) -> result.
template <const ArgumentSpec& Spec, auto Body>
constexpr Item method(const char* name, const char* doc = "") {
  return {.kind = Item::Kind::method, .name = name,
          .function = &detail::method_function<&detail::method_fast<Spec, Body>>,
          .flags = METH_FASTCALL | METH_KEYWORDS, .doc = doc};
}

// Static method without arguments: Body() -> result.
template <auto Body>
constexpr Item static_method(const char* name, const char* doc = "") {
  return {.kind = Item::Kind::method, .name = name,
          .function = &detail::method_function<&detail::static_noargs<Body>>,
          .flags = METH_NOARGS | METH_STATIC, .doc = doc};
}

// Static method with arguments: Body(const Arguments&) -> result.
template <const ArgumentSpec& Spec, auto Body>
constexpr Item static_method(const char* name, const char* doc = "") {
  return {.kind = Item::Kind::method, .name = name,
          .function = &detail::method_function<&detail::static_fast<Spec, Body>>,
          .flags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC, .doc = doc};
}

// Attribute getter: Body(const T&) -> result.
template <auto Body>
constexpr Item getter_of(const char* name) {
  return {.kind = Item::Kind::attribute, .name = name, .get = &detail::get_entry<Body>};
}

// Attribute setter: Body(T&, PyObject* value); the value is never null (deletion is refused first).
// An attribute with a setter and no getter is write-only.
template <auto Body>
constexpr Item setter_of(const char* name) {
  return {.kind = Item::Kind::attribute, .name = name, .set = &detail::set_entry<Body>};
}

// Getter and setter of a field: the getter hands out a copy, the setter converts and replaces.
template <auto Field>
constexpr Item field(const char* name) {
  return {.kind = Item::Kind::attribute, .name = name,
          .get = &detail::get_entry<detail::FieldTraits<Field>::get>,
          .set = &detail::set_entry<detail::FieldTraits<Field>::set>};
}

// Constructor slot: Body(const Arguments&) -> T; the object is made in the requested type.
template <const ArgumentSpec& Spec, auto Body>
constexpr Item slot_new() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_tp_new,
          .slot_function = &detail::slot_function<&detail::new_entry<Spec, Body>>,
          .construct = &detail::construct_entry<Spec, Body>};
}

// Constructor slot that ignores every argument: Body() -> T.
template <auto Body>
constexpr Item slot_new_any() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_tp_new,
          .slot_function = &detail::slot_function<&detail::new_any_entry<Body>>};
}

// Representation and string form: Body(const T&) -> text.
template <auto Body>
constexpr Item slot_repr() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_tp_repr,
          .slot_function = &detail::slot_function<&detail::unary_entry<Body>>};
}
template <auto Body>
constexpr Item slot_str() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_tp_str,
          .slot_function = &detail::slot_function<&detail::unary_entry<Body>>};
}

// len(): Body(const T&) -> std::size_t.
template <auto Body>
constexpr Item slot_len() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_mp_length,
          .slot_function = &detail::slot_function<&detail::length_entry<Body>>};
}

// Truth value: Body(const T&) -> bool.
template <auto Body>
constexpr Item slot_bool() {
  return {.kind = Item::Kind::slot, .name = nullptr, .slot = Py_nb_bool,
          .slot_function = &detail::slot_function<&detail::bool_entry<Body>>};
}

// A member table: the items and groups of items (std::array<Item, N>) given, in this order.
template <class... Parts>
constexpr auto item_table(const Parts&... parts) {
  std::array<Item, (detail::item_count<Parts> + ...)> table{};
  std::size_t next = 0;
  auto append = [&](const auto& part) {
    for (const Item& item : detail::items_of(part)) table[next++] = item;
  };
  (append(parts), ...);
  return table;
}

}  // namespace qv::py
