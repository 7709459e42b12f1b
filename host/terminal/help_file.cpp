// Help topics (see help_file.h and docs/help_file.md).
#include "host/terminal/help_file.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "host/text_file.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool HelpFile::Parse(std::string_view text, std::string& error) {
  std::vector<HelpTopic> topics;
  size_t start = 0;
  int line_number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (line.starts_with("@") && !line.starts_with("@@")) {
      const std::string_view rest = line.substr(1);
      const size_t blank = rest.find_first_of(" \t");
      const std::string_view name = rest.substr(0, blank);
      const std::string where = "line " + std::to_string(line_number) + ": ";
      if (name.empty()) {
        error = where + "a topic line needs a name right after the @";
        return false;
      }
      for (const HelpTopic& t : topics) {
        if (SameName(t.name, name)) {
          error = where + "the topic " + std::string(name) + " appears twice";
          return false;
        }
      }
      HelpTopic topic;
      topic.name = std::string(name);
      const std::string_view title = blank == std::string_view::npos ? std::string_view() : Trim(rest.substr(blank));
      topic.title = title.empty() ? topic.name : std::string(title);
      topics.push_back(std::move(topic));
      continue;
    }
    if (topics.empty()) continue;  // the preamble is commentary
    if (line.starts_with("@@")) line.remove_prefix(1);
    topics.back().lines.emplace_back(line);
  }
  for (HelpTopic& t : topics) {
    while (!t.lines.empty() && Trim(t.lines.back()).empty()) t.lines.pop_back();
    while (!t.lines.empty() && Trim(t.lines.front()).empty()) t.lines.erase(t.lines.begin());
  }
  topics_ = std::move(topics);
  return true;
}

bool HelpFile::Load(const std::string& path, std::string& error) {
  std::string content;
  if (!ReadTextFile(path, content)) {
    error = "cannot read " + path;
    return false;
  }
  return Parse(content, error);
}

const HelpTopic* HelpFile::Find(std::string_view name) const {
  for (const HelpTopic& t : topics_)
    if (SameName(t.name, name)) return &t;
  return nullptr;
}

std::vector<std::string> WrapLines(const std::vector<std::string>& lines, int width) {
  const size_t w = static_cast<size_t>(std::max(width, 1));
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    // Continuations line up with the text after the first gap of two or
    // more blanks ("  Enter   dials ..."), else with the line's own text.
    const size_t lead = line.find_first_not_of(' ');
    size_t hang = lead == std::string::npos ? 0 : lead;
    const size_t gap = lead == std::string::npos ? std::string::npos : line.find("  ", lead);
    if (gap != std::string::npos) {
      const size_t after = line.find_first_not_of(' ', gap);
      if (after != std::string::npos && after <= w / 2) hang = after;
    }
    const size_t indent_length = std::min(hang, w / 2);
    const std::string indent(indent_length, ' ');
    std::string rest = line;
    bool first = true;
    while (rest.size() > w) {
      // Break at the last blank that leaves something on the line.
      size_t cut = rest.rfind(' ', w);
      const size_t floor = first ? (lead == std::string::npos ? 0 : lead) : indent.size();
      if (cut == std::string::npos || cut <= floor) cut = w;
      out.push_back(rest.substr(0, cut));
      size_t next = cut;
      while (next < rest.size() && rest[next] == ' ') ++next;
      rest = indent + rest.substr(next);
      first = false;
      if (rest.size() == indent.size()) break;
    }
    if (first || rest.size() > indent.size()) out.push_back(rest);
  }
  return out;
}
