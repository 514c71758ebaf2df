// Any byte string handed to Parse must give a result or the conversion error, and whatever tree
// it leaves must write out and read back without harm.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Error.h"
#include "json/KesJSON.h"

namespace {

void ParseAndWrite(vp::TKesJSONObjectArray& container, const std::string& text) {
  try {
    container.Parse(text);
  } catch (const vp::Error&) {
    // A malformed \u escape; the tree keeps what was read before it.
  }
  std::string compact = container.ToText(false, true);
  container.ToText(true, false);
  std::string pretty = container.ToText(true, true);
  vp::TKesJSONObject again;
  try {
    again.Parse(compact);
    again.Parse(pretty);
  } catch (const vp::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  vp::TKesJSONObject object;
  ParseAndWrite(object, text);
  vp::TKesJSONArray array;
  ParseAndWrite(array, text);
  if (object.Has("Mode")) object.SetInteger("Mode", object.GetInteger("Mode", 1));
  return 0;
}
