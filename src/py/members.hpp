#pragma once
// The document members of a model class whose value is a record (record/record.hpp): the static
// readers from_json / from_yaml / from_toml, the writers to_json / to_yaml / to_toml / try_to_csv /
// to_dict and new_default.
//
//   static constexpr auto table = py::item_table(
//       ...fields...,
//       py::record_readers<Pool>(),          // from_json, from_yaml, from_toml
//       py::record_writers<Pool>(),          // to_json, to_yaml, to_toml, try_to_csv, to_dict
//       ...);
//
// Errors seen by Python:
//   - a reader's failure: RuntimeError with the reader's message;
//   - a CSV writer's refusal (a list, a record that cannot stand under one header row): ValueError
//     with its text;
//   - the JSON, YAML, TOML and dict writers cannot fail for the model's records: a failure is a
//     fault of the module (py::fault_err with the writer's debug description);
//   - running out of memory, in any of them: MemoryError.
#include <array>
#include <string>
#include <string_view>

#include "formats/csv.hpp"
#include "formats/json.hpp"
#include "formats/toml.hpp"
#include "formats/yaml.hpp"
#include "py/class.hpp"
#include "py/dict.hpp"
#include "py/utf8_str.hpp"
#include "py/unlocked.hpp"

namespace qv::py {

namespace record_detail {

template <class T>
inline constexpr ArgumentSpec kFromJson{ClassInfo<T>::name, "from_json", {"json"}, 1};
template <class T>
inline constexpr ArgumentSpec kFromYaml{ClassInfo<T>::name, "from_yaml", {"yaml"}, 1};
template <class T>
inline constexpr ArgumentSpec kFromToml{ClassInfo<T>::name, "from_toml", {"toml"}, 1};

// A new object of class T read from a document by `Read(text, def, record, error)`: the record is
// read in place, inside the new object, so that nothing is moved afterwards; a large text without
// the interpreter lock. A reader's failure
// becomes RuntimeError with its message; the half-read object is dropped.
template <class T, qv::formats::ReadRecord Read>
Ref read_new(const Arguments& args) {
  std::string_view text = args.get<std::string_view>(0);
  Ref object = Class<T>::new_instance(T{});
  T& value = reinterpret_cast<ClassObject<T>*>(object.get())->value;
  std::string error;
  // The new object is nobody else's yet, so a large text is read into it without the lock.
  bool read = unlocked_for(text.size(), [&] { return Read(text, qv::record::record_def<T>, &value, error); });
  if (!read) raise(PyExc_RuntimeError, error);
  return object;
}

// Every format's writer goes through one template, write_document, with the format's function
// (formats/format.hpp) and the way its failure reaches Python.
enum class WriteFailure {
  ValueError,  // a refusal of the value: ValueError with the error's message
  Fault,       // cannot happen for the model's records: a fault with the error's debug form
};

// A format's writer and how its failure reaches Python.
struct DocumentWriter {
  qv::formats::WriteRecord write;
  WriteFailure failure;
};

inline constexpr DocumentWriter kJsonWriter{&qv::json::write_record, WriteFailure::Fault};
inline constexpr DocumentWriter kYamlWriter{&qv::yaml::write_record, WriteFailure::Fault};
inline constexpr DocumentWriter kTomlWriter{&qv::toml::write_record, WriteFailure::Fault};
inline constexpr DocumentWriter kCsvWriter{&qv::csv::write_record, WriteFailure::ValueError};

// The document of a value of class T written by `Writer`, or its failure raised as the writer says.
template <class T, const DocumentWriter& Writer>
Ref write_document(const T& value) {
  std::string out;
  if (auto error = Writer.write(out, qv::record::record_def<T>, &value)) {
    if (Writer.failure == WriteFailure::ValueError) raise(PyExc_ValueError, error->message);
    fault_err(error->debug);
  }
  return utf8_str(out);
}

// The writer methods, by the names record_writers lists them under.
template <class T>
inline constexpr auto& to_json = write_document<T, kJsonWriter>;
template <class T>
inline constexpr auto& to_yaml = write_document<T, kYamlWriter>;
template <class T>
inline constexpr auto& to_toml = write_document<T, kTomlWriter>;
template <class T>
inline constexpr auto& try_to_csv = write_document<T, kCsvWriter>;

template <class T>
Ref to_dict(const T& value) {
  try {
    return py::to_dict(value);
  } catch (const ErrorAlreadySet&) {
    fault_pending();
  }
}

}  // namespace record_detail

// The static method `new_default` of a class whose default is the value-initialised record.
template <class T>
T record_new_default() {
  return T{};
}

// The static readers from_json(json), from_yaml(yaml), from_toml(toml), in this order.
template <class T>
constexpr auto record_readers() {
  using namespace record_detail;
  return std::array{
      static_method<kFromJson<T>, &read_new<T, &qv::json::read_record>>("from_json"),
      static_method<kFromYaml<T>, &read_new<T, &qv::yaml::read_record>>("from_yaml"),
      static_method<kFromToml<T>, &read_new<T, &qv::toml::read_record>>("from_toml"),
  };
}

// The writers to_json, to_yaml, to_toml, try_to_csv, to_dict, in this order.
template <class T>
constexpr auto record_writers() {
  using namespace record_detail;
  return std::array{
      method<&record_detail::to_json<T>>("to_json"),
      method<&record_detail::to_yaml<T>>("to_yaml"),
      method<&record_detail::to_toml<T>>("to_toml"),
      method<&record_detail::try_to_csv<T>>("try_to_csv"),
      method<&record_detail::to_dict<T>>("to_dict"),
  };
}

}  // namespace qv::py
