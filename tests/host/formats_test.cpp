// kelhost's text formats: quoted texts, the language file, scripts,
// transcript texts and the command line.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/command_line.h"
#include "host/language_file.h"
#include "host/quoted_text.h"
#include "host/script.h"
#include "host/transcript.h"

namespace {

std::string Unquote(const std::string& quoted, std::string* error_out = nullptr) {
  size_t pos = 0;
  std::string out, error;
  const bool ok = ParseQuotedText(quoted, pos, out, error);
  if (error_out) *error_out = ok ? "" : error;
  return ok ? out : "<error>";
}

TEST(KelhostQuotedText, EveryByteRoundTripsThroughPlainAscii) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string quoted = QuoteText(all);
  for (char c : quoted) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 && byte < 0x7f) << int(byte);
  }
  EXPECT_EQ(Unquote(quoted), all);
  EXPECT_EQ(QuoteText("a\"b\\c\x01\x7f\xff"), R"("a\"b\\c\x01\x7f\xff")");
}

TEST(KelhostQuotedText, ReaderAcceptsCEscapesAndRejectsBadOnes) {
  EXPECT_EQ(Unquote(R"("a\n\t\r\x4A\x4a")"), "a\n\t\rJJ");
  std::string error;
  EXPECT_EQ(Unquote(R"("open)", &error), "<error>");
  EXPECT_NE(error.find("closing"), std::string::npos);
  EXPECT_EQ(Unquote(R"("\x4")", &error), "<error>");
  EXPECT_EQ(Unquote(R"("\q")", &error), "<error>");
  EXPECT_EQ(Unquote("noquote", &error), "<error>");
}

TEST(KelhostLanguageFile, TextsKeepBlanksAndEscapes) {
  LanguageFile lang;
  std::string error;
  ASSERT_TRUE(lang.Parse("# comment\n\n9=Dialling \r\n2=a\\\\b\\x01c\n127=last", error)) << error;
  EXPECT_STREQ(lang.Text(9), "Dialling ");
  EXPECT_STREQ(lang.Text(2), "a\\b\x01" "c");
  EXPECT_STREQ(lang.Text(127), "last");
  // Only the low seven bits of the number count.
  EXPECT_STREQ(lang.Text(9 + 128), "Dialling ");
  EXPECT_TRUE(lang.Has(9));
  EXPECT_FALSE(lang.Has(6));
  EXPECT_STREQ(lang.Text(6), "");
}

TEST(KelhostLanguageFile, PointersStayValidAcrossLookups) {
  LanguageFile lang;
  std::string error;
  ASSERT_TRUE(lang.Parse("1=one\n2=two\n", error));
  const char* one = lang.Text(1);
  for (int i = 0; i < 1000; ++i) lang.Text(i);
  EXPECT_EQ(one, lang.Text(1));
  EXPECT_STREQ(one, "one");
}

TEST(KelhostLanguageFile, ErrorsNameTheLineAndLeaveTheTextsAlone) {
  LanguageFile lang;
  std::string error;
  ASSERT_TRUE(lang.Parse("4=OK\n", error));
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"1=a\n1=b\n", "line 2: message 1 is defined twice"},
      {"128=x\n", "line 1: message number 128 is above 127"},
      {"\n\nhello\n", "line 3: expected N=text"},
      {"=x\n", "line 1: expected N=text"},
      {"5=a\\nb\n", "line 1: a backslash must start"},
      {"5=\\x0\n", "line 1: \\x must be followed"},
      {".Language=\n", "line 1: .Language= needs a language name"},
      {".Language=Russian,86x\n", "line 1: the code page"},
      {".Language=Russian,70000\n", "line 1: the code page"},
      {"# c\n.Language=Russian\n", "line 2: .Language= must be the first line"},
      {".Lang=Russian\n", "line 1: expected N=text"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(lang.Parse(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.expected, 0), 0u) << error;
  }
  EXPECT_STREQ(lang.Text(4), "OK");
}

TEST(KelhostLanguageFile, FirstLineNamesTheLanguageAndCodePage) {
  LanguageFile lang;
  std::string error;
  ASSERT_TRUE(lang.Parse(".Language=Russian,866\r\n4=\x8e\x8a\n", error)) << error;
  EXPECT_EQ(lang.Language(), "Russian");
  EXPECT_EQ(lang.CodePage(), 866);
  EXPECT_STREQ(lang.Text(4), "\x8e\x8a");
  ASSERT_TRUE(lang.Parse(".Language=English\n", error)) << error;
  EXPECT_EQ(lang.CodePage(), 437);
  ASSERT_TRUE(lang.Parse("4=OK\n", error)) << error;
  EXPECT_EQ(lang.Language(), "");
  EXPECT_EQ(lang.CodePage(), 437);
}

// The Russian file against the English one: the same numbers; where the
// plug-in joins a name or a number to a text, the blank it needs is there.
TEST(KelhostLanguageFile, ShippedRussianFileMatchesTheEnglishOne) {
  LanguageFile english, russian;
  std::string error;
  ASSERT_TRUE(english.Load(SOURCE_DIR "/lang/vezuzaziz.lng", error)) << error;
  ASSERT_TRUE(russian.Load(SOURCE_DIR "/lang/vezuzaziz_ru.lng", error)) << error;
  EXPECT_EQ(english.Language(), "English");
  EXPECT_EQ(english.CodePage(), 437);
  EXPECT_EQ(russian.Language(), "Russian");
  EXPECT_EQ(russian.CodePage(), 866);
  for (int n = 0; n < LanguageFile::kMessageCount; ++n) {
    ASSERT_EQ(english.Has(n), russian.Has(n)) << n;
    const std::string en = english.Text(n), ru = russian.Text(n);
    if (en.empty()) continue;
    EXPECT_FALSE(ru.empty()) << n;
    if (en.back() == ' ') {
      EXPECT_EQ(ru.back(), ' ') << n;
    }
    if (en.front() == ' ') {
      EXPECT_EQ(ru.front(), ' ') << n;
    }
  }
}

TEST(KelhostLanguageFile, ChoosesTheFileOfALanguageElseEnglish) {
  const std::string dir = testing::TempDir() + "kelhost_language_choice/";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir + name, std::ios::binary) << text;
  };
  write("v.lng", ".Language=English,437\n0=Dial-up\n");
  write("v_ru.lng", ".Language=Russian,866\r\n0=x\n");
  write("v_de.hlp", ".Language=German\n@Main\n");
  write("v_none.lng", "0=no language line\n");
  EXPECT_EQ(ChooseLanguageFile(dir + "v.lng", "russian"), dir + "v_ru.lng");
  EXPECT_EQ(ChooseLanguageFile(dir + "v.lng", "German"), dir + "v.lng");
  EXPECT_EQ(ChooseLanguageFile(dir + "v.lng", ""), dir + "v.lng");
  EXPECT_EQ(ChooseLanguageFile(dir + "v.hlp", "German"), dir + "v_de.hlp");
  // No file names the language nor English: the default path.
  EXPECT_EQ(ChooseLanguageFile(dir + "v.hlp", "Russian"), dir + "v.hlp");

  HostOptions options;
  options.language = "Russian";
  EXPECT_EQ(ChooseLanguagePaths(options, dir + "v.so", "German").lang, dir + "v_ru.lng");
  options.language.clear();
  EXPECT_EQ(ChooseLanguagePaths(options, dir + "v.so", "Russian").lang, dir + "v_ru.lng");
  // --lang names the file whatever language is chosen.
  options.lang = dir + "v_none.lng";
  const LanguagePaths named = ChooseLanguagePaths(options, dir + "v.so", "Russian");
  EXPECT_EQ(named.lang, dir + "v_none.lng");
  EXPECT_EQ(named.help, dir + "v_none.hlp");
  std::filesystem::remove_all(dir);
}

TEST(KelhostLanguageFile, ShippedFileHasEveryCatalogueNumber) {
  LanguageFile lang;
  std::string error;
  ASSERT_TRUE(lang.Load(SOURCE_DIR "/lang/vezuzaziz.lng", error)) << error;
  for (int n = 0; n <= 92; ++n) {
    const bool unused = n == 6 || n == 13 || n == 46 || n == 67 || n == 68;
    EXPECT_EQ(lang.Has(n), !unused) << n;
  }
  // Texts that are followed by a name or a number end with a blank, and the
  // ones that follow a name start with one.
  for (int n : {9, 12, 26, 28, 33, 36, 44, 76, 80, 85, 89}) {
    const std::string text = lang.Text(n);
    EXPECT_EQ(text.back(), ' ') << n;
  }
  for (int n : {27, 30, 31}) EXPECT_EQ(lang.Text(n)[0], ' ') << n;
  // The texts of the failure boxes, and the two halves around a count.
  for (int n = 110; n <= 115; ++n) EXPECT_TRUE(lang.Has(n)) << n;
  for (int n : {113, 115}) EXPECT_EQ(lang.Text(n)[0], ' ') << n;
  EXPECT_STREQ(lang.Text(4), "OK");
  EXPECT_STREQ(lang.Text(5), "Warning");
}

std::vector<ScriptAnswer> ParseOk(const std::string& text) {
  std::vector<ScriptAnswer> answers;
  std::string error;
  EXPECT_TRUE(ParseScript(text, answers, error)) << error;
  return answers;
}

TEST(KelhostScript, ReadsEveryKindOfAnswer) {
  const auto a = ParseOk(
      "# a comment\n"
      "\n"
      "  menu 2 f4   # trailing comment\n"
      "menu 0\n"
      "menu 3 2\n"
      "MENU ESC\n"
      "dialog 16 set 1 \"Off # ice\" check 12 0 set 5 \"\\x01\"\n"
      "dialog enter\n"
      "dialog esc\n"
      "message 1\n"
      "message esc\n"
      "edit append \"line\\r\\n\"\n"
      "edit write \"\"\n");
  ASSERT_EQ(a.size(), 11u);
  EXPECT_EQ(a[0].kind, ScriptAnswer::Kind::Menu);
  EXPECT_EQ(a[0].line, 3);
  EXPECT_EQ(a[0].index, 2);
  EXPECT_EQ(a[0].key, ScriptAnswer::Key::Named);
  EXPECT_EQ(a[0].key_value, 115);
  EXPECT_EQ(a[1].key, ScriptAnswer::Key::Enter);
  EXPECT_EQ(a[2].key, ScriptAnswer::Key::Index);
  EXPECT_EQ(a[2].key_value, 2);
  EXPECT_TRUE(a[3].esc);
  ASSERT_EQ(a[4].changes.size(), 3u);
  EXPECT_EQ(a[4].index, 16);
  EXPECT_EQ(a[4].changes[0].text, "Off # ice");
  EXPECT_FALSE(a[4].changes[1].is_text);
  EXPECT_EQ(a[4].changes[1].item, 12);
  EXPECT_EQ(a[4].changes[2].text, "\x01");
  EXPECT_TRUE(a[5].dialog_enter);
  EXPECT_TRUE(a[6].esc);
  EXPECT_EQ(a[7].kind, ScriptAnswer::Kind::Message);
  EXPECT_EQ(a[7].index, 1);
  EXPECT_TRUE(a[8].esc);
  EXPECT_TRUE(a[9].edit_append);
  EXPECT_EQ(a[9].edit_text, "line\r\n");
  EXPECT_FALSE(a[10].edit_append);
}

TEST(KelhostScript, FormattedAnswersReadBackTheSame) {
  const auto answers = ParseOk(
      "menu 4 del\nmenu 1 0\nmenu esc\nmenu 7\n"
      "dialog 10 set 4 \"a\\\"b\\\\c\\xff\" check 1 1\ndialog enter check 2 0\ndialog esc\n"
      "message 0\nmessage esc\nedit append \"x\\ty\"\nedit write \"z\"\n");
  std::string text;
  for (const auto& a : answers) text += FormatScriptAnswer(a) + "\n";
  auto again = ParseOk(text);
  ASSERT_EQ(again.size(), answers.size());
  for (size_t i = 0; i < answers.size(); ++i) {
    ScriptAnswer expected = answers[i];
    expected.line = again[i].line;
    expected.source = again[i].source;
    EXPECT_EQ(again[i], expected) << text;
  }
  EXPECT_EQ(FormatScriptAnswer(answers[0]), "menu 4 del");
  EXPECT_EQ(FormatScriptAnswer(answers[4]), R"(dialog 10 set 4 "a\"b\\c\xff" check 1 1)");
}

TEST(KelhostScript, SyntaxErrorsNameTheLine) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"menu 1\nmenu\n", "line 2: expected: menu ROW"},
      {"menu 1 f13\n", "line 1: unknown key f13"},
      {"menu -1\n", "line 1: expected: menu ROW"},
      {"dialog 3 set 1 unquoted\n", "line 1: expected: set N \"text\""},
      {"dialog 3 check 1 2\n", "line 1: expected: check N 0|1"},
      {"dialog 3 toggle 1\n", "line 1: expected set or check"},
      {"dialog\n", "line 1: expected: dialog"},
      {"message 1 2\n", "line 1: expected: message BUTTON"},
      {"edit insert \"x\"\n", "line 1: expected: edit append"},
      {"press 1\n", "line 1: expected menu, dialog, message or edit"},
      {"dialog 1 set 1 \"open\n", "line 1: the quoted text has no closing"},
      {"dialog 1 set 1 \"a\"b\n", "line 1: a blank must follow"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptAnswer> answers;
    std::string error;
    EXPECT_FALSE(ParseScript(c.text, answers, error)) << c.text;
    EXPECT_EQ(error.rfind(c.expected, 0), 0u) << c.text << " -> " << error;
  }
}

TEST(KelhostScript, KeyNames) {
  EXPECT_EQ(VirtualKeyOfName("F1"), 112);
  EXPECT_EQ(VirtualKeyOfName("f4"), 115);
  EXPECT_EQ(VirtualKeyOfName("f12"), 123);
  EXPECT_EQ(VirtualKeyOfName("Insert"), 45);
  EXPECT_EQ(VirtualKeyOfName("del"), 46);
  EXPECT_EQ(VirtualKeyOfName("f0"), 0);
  EXPECT_EQ(VirtualKeyOfName("f"), 0);
  EXPECT_EQ(VirtualKeyOfName("esc"), 0);
}

TEST(KelhostTranscript, PluginDirectoryIsReplacedOnlyAtTheStart) {
  Transcript t(nullptr, nullptr);
  t.SetModulePath("Z:\\tmp\\plug\\vezuzaziz.so");
  EXPECT_EQ(t.PluginDirectory(), "Z:\\tmp\\plug\\");
  EXPECT_EQ(t.Text("Z:\\tmp\\plug\\vezuzaziz.log"), R"("<plugdir>\\vezuzaziz.log")");
  EXPECT_EQ(t.Text("z:\\TMP\\Plug\\a\\b.txt"), R"("<plugdir>\\a\\b.txt")");
  EXPECT_EQ(t.Text("Z:\\tmp\\plugin\\x"), R"("Z:\\tmp\\plugin\\x")");
  EXPECT_EQ(t.Text("see Z:\\tmp\\plug\\x"), R"("see Z:\\tmp\\plug\\x")");
  EXPECT_EQ(t.Text(static_cast<const char*>(nullptr)), "null");
  EXPECT_EQ(t.Text("Dialling\x01"), R"("Dialling\x01")");
}

TEST(KelhostTranscript, LinesAndErrorsAreWrittenAndCounted) {
  std::FILE* out = std::tmpfile();
  std::FILE* errors = std::tmpfile();
  Transcript t(out, errors);
  t.Line("Text x=0");
  t.Error("RestoreScreen: handle 3 is not a saved screen");
  EXPECT_EQ(t.ErrorCount(), 1);
  auto read = [](std::FILE* f) {
    std::rewind(f);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
    std::fclose(f);
    return s;
  };
  EXPECT_EQ(read(out), "Text x=0\n! RestoreScreen: handle 3 is not a saved screen\n");
  EXPECT_EQ(read(errors), "kelhost: RestoreScreen: handle 3 is not a saved screen\n");
}

TEST(KelhostCommandLine, OptionsAndActions) {
  const char* argv[] = {"kelhost", "--plugin", "p/x.so", "--script", "s.txt", "--transcript", "t.txt",
                        "--viewer-dump", "ras:Office"};
  HostOptions o;
  std::string error;
  ASSERT_TRUE(ParseHostOptions(9, argv, o, error)) << error;
  EXPECT_EQ(o.plugin, "p/x.so");
  EXPECT_TRUE(o.has_script);
  EXPECT_EQ(o.script, "s.txt");
  EXPECT_EQ(o.transcript, "t.txt");
  EXPECT_TRUE(o.viewer_dump);
  EXPECT_EQ(o.action, HostOptions::Action::CommandLine);
  EXPECT_EQ(o.command, "ras:Office");

  const char* none[] = {"kelhost"};
  ASSERT_TRUE(ParseHostOptions(1, none, o, error));
  EXPECT_EQ(o.action, HostOptions::Action::PluginMenu);
  EXPECT_FALSE(o.has_script);

  const char* two[] = {"kelhost", "--configure", "ras:x"};
  EXPECT_FALSE(ParseHostOptions(3, two, o, error));
  const char* unknown[] = {"kelhost", "--frobnicate"};
  EXPECT_FALSE(ParseHostOptions(2, unknown, o, error));
  const char* missing[] = {"kelhost", "--lang"};
  EXPECT_FALSE(ParseHostOptions(2, missing, o, error));
  const char* bare[] = {"kelhost", "Office"};
  EXPECT_FALSE(ParseHostOptions(2, bare, o, error));
}

TEST(KelhostCommandLine, LanguagePathAndPrefix) {
  EXPECT_EQ(DefaultLanguagePath("/a/b/vezuzaziz.so"), "/a/b/vezuzaziz.lng");
  EXPECT_EQ(DefaultLanguagePath("/a.d/plugin"), "/a.d/plugin.lng");
  EXPECT_EQ(DefaultLanguagePath("C:\\x.y\\v.dll"), "C:\\x.y\\v.lng");

  std::string text;
  ASSERT_TRUE(MatchCommandPrefix("ras", "RaS: hangup", text));
  EXPECT_EQ(text, " hangup");
  ASSERT_TRUE(MatchCommandPrefix("ras", "ras:", text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(MatchCommandPrefix("tst:probe", "probe:a:b", text));
  EXPECT_EQ(text, "a:b");
  EXPECT_FALSE(MatchCommandPrefix("ras", "rass:x", text));
  EXPECT_FALSE(MatchCommandPrefix("ras", "ras", text));
  EXPECT_FALSE(MatchCommandPrefix("", ":x", text));
}

}  // namespace
