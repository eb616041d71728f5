#pragma once
// Records as nested Python dictionaries, over the field tables of record/record.hpp.
//
// The dict holds the record's written fields in table order under their document keys:
//   text, optional text (when set)  str
//   u16                             int
//   flag                            bool
//   list of texts                   list of str
//   nested record                   dict (its own written fields)
//   list of records                 list of dict
//   list of (text, texts) pairs     list of tuple (str, list of str)
// An optional text that a table writes even when unset becomes None. Key strings are created
// once per field, interned, and kept for the life of the process. Within one tree, equal short
// texts may be one shared str. The interpreter's cyclic collector is held off while a tree is
// built and left as it was found.
//
// Runs under the interpreter lock. A failing C API call throws the pending Python error
// (py::ErrorAlreadySet); the objects built so far are released.
#include "py/ref.hpp"
#include "record/record.hpp"

namespace qv::py {

Ref dict_from_record(const qv::record::RecordDef& def, const void* record);

template <class T>
Ref to_dict(const T& record) {
  return dict_from_record(qv::record::record_def<T>, &record);
}

}  // namespace qv::py
