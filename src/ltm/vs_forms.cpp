#include "ltm/vs_forms.hpp"

#include "formats/toml.hpp"

namespace qv::ltm {

DocumentText toml_write_record(const quilvarn::formats::RecordDef& def, const void* record) {
  std::string out;
  if (auto error = quilvarn::toml::write_record(out, def, record)) return {false, std::move(error->debug)};
  return {true, std::move(out)};
}

}  // namespace qv::ltm
