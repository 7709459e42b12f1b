// Arbitrary bytes as a kelhost script: the reader takes or rejects
// anything, naming the line it rejects, and every answer it takes is
// written back by FormatScriptAnswer as a line that reads as the same answer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ScriptAnswer> answers;
  std::string error;
  if (!ParseScript(text, answers, error)) {
    if (error.rfind("line ", 0) != 0) std::abort();
    return 0;
  }
  for (const ScriptAnswer& a : answers) {
    std::vector<ScriptAnswer> again;
    std::string again_error;
    if (!ParseScript(FormatScriptAnswer(a) + "\n", again, again_error) || again.size() != 1) std::abort();
    ScriptAnswer b = again[0];
    b.line = a.line;
    b.source = a.source;
    if (!(b == a)) std::abort();
  }
  return 0;
}
