#pragma once
// The configuration parser library: grammars, records, errors, object paths,
// service names and the Unicode text classes.
#include "brelmark/grammar.hpp"
#include "brelmark/parse.hpp"
#include "brelmark/path.hpp"
#include "brelmark/records.hpp"
#include "brelmark/services.hpp"
#include "brelmark/unicode.hpp"
