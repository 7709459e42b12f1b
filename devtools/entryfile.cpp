// entryfile: converts between the plain lines of the entry file and its
// stored, scrambled form, with the plug-in's own conversion functions.
//
//   entryfile pack PLAIN OUT   plain text lines (LF or CRLF) -> stored file OUT
//   entryfile unpack FILE      stored file -> plain lines on standard output
//
// Exit status: 0 done, 1 a file could not be read or written, 2 usage.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "entries/entry_file.h"

namespace {

bool ReadAll(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Splits on LF; a CR right before the LF belongs to the line end. A last
// line without its LF still counts; an empty file has no lines.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

int Usage() {
  std::cerr << "usage: entryfile pack PLAIN OUT\n"
               "       entryfile unpack FILE\n";
  return 2;
}

int Pack(const char* plain_path, const char* out_path) {
  std::string plain;
  if (!ReadAll(plain_path, plain)) {
    std::cerr << "entryfile: cannot read " << plain_path << "\n";
    return 1;
  }
  const std::string stored = FileTextFromPlainLines(SplitLines(plain));
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  out << stored;
  out.flush();
  if (!out) {
    std::cerr << "entryfile: cannot write " << out_path << "\n";
    return 1;
  }
  return 0;
}

int Unpack(const char* path) {
  std::string stored;
  if (!ReadAll(path, stored)) {
    std::cerr << "entryfile: cannot read " << path << "\n";
    return 1;
  }
  for (const std::string& line : PlainLinesFromFileText(stored)) {
    std::cout << line << '\n';
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "pack" && argc == 4) return Pack(argv[2], argv[3]);
  if (command == "unpack" && argc == 3) return Unpack(argv[2]);
  return Usage();
}
