#pragma once
// UTF-8 texts as new Python str: the texts of records and the documents the writers make.
#include <string_view>

#include "py/ref.hpp"

namespace qv::py {

// A new str holding the UTF-8 text. An ASCII text is copied straight in, and a large one (a
// document) into memory that asks for huge pages before it is written: a str that large is a fresh
// mapping, and on virtual machines a fault on each of its small pages costs more than the copy.
Ref utf8_str(std::string_view text);

}  // namespace qv::py
