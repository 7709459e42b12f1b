// Arbitrary bytes as registry.reg text: the stand-in's REGEDIT4 reader must
// take anything, and what it writes back must read back the same: writing
// the tree read from its own output changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "winapi/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  standin::RegTree tree = standin::ParseRegText(text);
  const std::string written = standin::RegText(tree);
  const standin::RegTree again = standin::ParseRegText(written);
  if (standin::RegText(again) != written) std::abort();
  for (const standin::RegKey& key : tree.keys) {
    if (tree.Find(key.path) == nullptr) std::abort();
  }
  return 0;
}
