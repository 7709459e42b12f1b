// Reading and writing script lines (format in script.h and docs/kelhost.md).
#include "host/script.h"

#include <cctype>
#include <cstdlib>

#include "host/quoted_text.h"
#include "host/text_file.h"

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits a line into words and quoted texts; a `#` that starts a word ends
// the line.
bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
  size_t pos = 0;
  while (true) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] == '#') return true;
    Token token;
    if (line[pos] == '"') {
      token.quoted = true;
      if (!ParseQuotedText(line, pos, token.text, error)) return false;
      if (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
        error = "a blank must follow a quoted text";
        return false;
      }
    } else {
      while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
        if (line[pos] == '"') {
          error = "a quote inside a word";
          return false;
        }
        token.text += line[pos++];
      }
    }
    tokens.push_back(std::move(token));
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A non-negative decimal number below 100000.
bool ParseIndex(const Token& token, int& value) {
  if (token.quoted || token.text.empty() || token.text.size() > 5) return false;
  for (char c : token.text)
    if (c < '0' || c > '9') return false;
  value = std::atoi(token.text.c_str());
  return true;
}

bool IsWord(const Token& token, const char* word) { return !token.quoted && Lower(token.text) == word; }

bool ParseMenu(const std::vector<Token>& t, ScriptAnswer& a, std::string& error) {
  if (t.size() == 2 && IsWord(t[1], "esc")) {
    a.esc = true;
    return true;
  }
  if (t.size() < 2 || t.size() > 3 || !ParseIndex(t[1], a.index)) {
    error = "expected: menu ROW [KEY] or menu esc";
    return false;
  }
  if (t.size() == 2 || IsWord(t[2], "enter")) return true;
  if (ParseIndex(t[2], a.key_value)) {
    a.key = ScriptAnswer::Key::Index;
    return true;
  }
  const int vk = t[2].quoted ? 0 : VirtualKeyOfName(t[2].text);
  if (vk == 0) {
    error = "unknown key " + t[2].text + " (enter, f1..f12, ins, del or a break-key index)";
    return false;
  }
  a.key = ScriptAnswer::Key::Named;
  a.key_value = vk;
  a.key_name = Lower(t[2].text);
  return true;
}

bool ParseDialog(const std::vector<Token>& t, ScriptAnswer& a, std::string& error) {
  if (t.size() < 2) {
    error = "expected: dialog ITEM|enter|esc [set N \"text\"]... [check N 0|1]...";
    return false;
  }
  if (IsWord(t[1], "esc")) {
    a.esc = true;
  } else if (IsWord(t[1], "enter")) {
    a.dialog_enter = true;
  } else if (!ParseIndex(t[1], a.index)) {
    error = "the closing item must be a number, enter or esc";
    return false;
  }
  size_t i = 2;
  while (i < t.size()) {
    ScriptAnswer::Change change;
    if (IsWord(t[i], "set")) {
      if (i + 2 >= t.size() || !ParseIndex(t[i + 1], change.item) || !t[i + 2].quoted) {
        error = "expected: set N \"text\"";
        return false;
      }
      change.text = t[i + 2].text;
    } else if (IsWord(t[i], "check")) {
      if (i + 2 >= t.size() || !ParseIndex(t[i + 1], change.item) || !ParseIndex(t[i + 2], change.state) ||
          change.state > 1) {
        error = "expected: check N 0|1";
        return false;
      }
      change.is_text = false;
    } else {
      error = "expected set or check, found " + t[i].text;
      return false;
    }
    a.changes.push_back(std::move(change));
    i += 3;
  }
  return true;
}

bool ParseMessage(const std::vector<Token>& t, ScriptAnswer& a, std::string& error) {
  if (t.size() == 2 && IsWord(t[1], "esc")) {
    a.esc = true;
    return true;
  }
  if (t.size() != 2 || !ParseIndex(t[1], a.index)) {
    error = "expected: message BUTTON or message esc";
    return false;
  }
  return true;
}

bool ParseEdit(const std::vector<Token>& t, ScriptAnswer& a, std::string& error) {
  if (t.size() != 3 || !(IsWord(t[1], "append") || IsWord(t[1], "write")) || !t[2].quoted) {
    error = "expected: edit append \"text\" or edit write \"text\"";
    return false;
  }
  a.edit_append = IsWord(t[1], "append");
  a.edit_text = t[2].text;
  return true;
}

}  // namespace

const char* ScriptKindName(ScriptAnswer::Kind kind) {
  switch (kind) {
    case ScriptAnswer::Kind::Menu:
      return "menu";
    case ScriptAnswer::Kind::Dialog:
      return "dialog";
    case ScriptAnswer::Kind::Message:
      return "message";
    case ScriptAnswer::Kind::Edit:
      return "edit";
  }
  return "?";
}

int VirtualKeyOfName(const std::string& name) {
  const std::string key = Lower(name);
  if (key == "ins" || key == "insert") return 45;
  if (key == "del" || key == "delete") return 46;
  if (key.size() >= 2 && key.size() <= 3 && key[0] == 'f') {
    int n = 0;
    for (size_t i = 1; i < key.size(); ++i) {
      if (key[i] < '0' || key[i] > '9') return 0;
      n = n * 10 + (key[i] - '0');
    }
    if (n >= 1 && n <= 12) return 111 + n;  // VK_F1 is 112
  }
  return 0;
}

bool ParseScript(const std::string& text, std::vector<ScriptAnswer>& answers, std::string& error) {
  std::vector<ScriptAnswer> result;
  int line_number = 0;
  for (const std::string& line : TextLines(text)) {
    ++line_number;

    std::vector<Token> tokens;
    std::string why;
    bool ok = Tokenize(line, tokens, why);
    if (ok && tokens.empty()) continue;

    ScriptAnswer answer;
    answer.line = line_number;
    answer.source = line;
    if (ok) {
      const std::string verb = tokens[0].quoted ? std::string() : Lower(tokens[0].text);
      if (verb == "menu") {
        answer.kind = ScriptAnswer::Kind::Menu;
        ok = ParseMenu(tokens, answer, why);
      } else if (verb == "dialog") {
        answer.kind = ScriptAnswer::Kind::Dialog;
        ok = ParseDialog(tokens, answer, why);
      } else if (verb == "message") {
        answer.kind = ScriptAnswer::Kind::Message;
        ok = ParseMessage(tokens, answer, why);
      } else if (verb == "edit") {
        answer.kind = ScriptAnswer::Kind::Edit;
        ok = ParseEdit(tokens, answer, why);
      } else {
        ok = false;
        why = "expected menu, dialog, message or edit";
      }
    }
    if (!ok) {
      error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    }
    result.push_back(std::move(answer));
  }
  answers = std::move(result);
  return true;
}

std::string FormatScriptAnswer(const ScriptAnswer& a) {
  // Built by appending: GCC 12 warns falsely about "literal" + temporary.
  std::string out = ScriptKindName(a.kind);
  auto add = [&out](const std::string& word) { out.append(" ").append(word); };
  switch (a.kind) {
    case ScriptAnswer::Kind::Menu:
      if (a.esc) {
        add("esc");
      } else {
        add(std::to_string(a.index));
        if (a.key == ScriptAnswer::Key::Named) add(a.key_name);
        if (a.key == ScriptAnswer::Key::Index) add(std::to_string(a.key_value));
      }
      break;
    case ScriptAnswer::Kind::Dialog:
      add(a.esc ? "esc" : a.dialog_enter ? "enter" : std::to_string(a.index));
      for (const auto& change : a.changes) {
        add(change.is_text ? "set" : "check");
        add(std::to_string(change.item));
        add(change.is_text ? QuoteText(change.text) : std::to_string(change.state));
      }
      break;
    case ScriptAnswer::Kind::Message:
      add(a.esc ? "esc" : std::to_string(a.index));
      break;
    case ScriptAnswer::Kind::Edit:
      add(a.edit_append ? "append" : "write");
      add(QuoteText(a.edit_text));
      break;
  }
  return out;
}
