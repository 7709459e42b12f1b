// Writing transcript lines (format in docs/kelhost.md).
#include "host/transcript.h"

#include <cctype>

#include "host/quoted_text.h"

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

}  // namespace

void Transcript::SetModulePath(const std::string& module_path) {
  const size_t slash = module_path.rfind('\\');
  plugin_dir_ = slash == std::string::npos ? std::string() : module_path.substr(0, slash + 1);
}

std::string Transcript::Text(const char* text) const {
  if (text == nullptr) return "null";
  return Text(std::string_view(text));
}

std::string Transcript::Text(std::string_view text) const {
  if (StartsWithIgnoringCase(text, plugin_dir_)) {
    return QuoteText("<plugdir>\\" + std::string(text.substr(plugin_dir_.size())));
  }
  return QuoteText(text);
}

void Transcript::Line(const std::string& line) {
  if (out_ == nullptr) return;
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void Transcript::Error(const std::string& text) {
  ++error_count_;
  Line("! " + text);
  if (errors_ != nullptr) {
    std::fprintf(errors_, "kelhost: %s\n", text.c_str());
    std::fflush(errors_);
  }
}
