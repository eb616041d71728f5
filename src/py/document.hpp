#pragma once
// Written documents as Python str.
#include <string_view>

#include "py/ref.hpp"

namespace qv::py {

// The str of a document a writer made. A large ASCII document is copied into a str whose memory
// asks for huge pages before it is written: a str that large is a fresh mapping, and on virtual
// machines a fault on each of its small pages costs more than the copy.
Ref document_str(std::string_view text);

}  // namespace qv::py
