// Arbitrary bytes as the language file: the parser takes or rejects
// anything, and a file it takes gives a text (never a null pointer) for every
// message number, empty for the numbers without a line, and the language and
// code page of its first line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  LanguageFile file;
  std::string error;
  if (!file.Parse(text, error)) {
    if (error.rfind("line ", 0) != 0) std::abort();
    // A rejected text leaves the object as it was: empty.
    for (int n = 0; n < LanguageFile::kMessageCount; ++n) {
      if (file.Has(n)) std::abort();
    }
    if (!file.Language().empty() || file.CodePage() != 437) std::abort();
    return 0;
  }
  // A language line names a language and a code page the converters can take.
  if (file.CodePage() < 1 || file.CodePage() > 65535) std::abort();
  for (int n = 0; n < 256; ++n) {
    const char* t = file.Text(n);
    if (t == nullptr) std::abort();
    if (!file.Has(n & 127) && std::strlen(t) != 0) std::abort();
  }
  return 0;
}
