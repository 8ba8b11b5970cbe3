// The registry export text: what is read, what is refused, what survives a rewrite.
#include "settings/reg_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "store_test_support.h"

namespace {

using pelnik::settings::RegDocument;
using pelnik::settings::RegParseError;

RegDocument parsed(const std::string &text) {
  auto result = RegDocument::parse(text);
  if (auto *error = std::get_if<RegParseError>(&result)) {
    ADD_FAILURE() << "line " << error->line << ": " << error->reason;
    return {};
  }
  return std::get<RegDocument>(std::move(result));
}

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

const std::string kForeignExport =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Tesmor\\PelnikR5MLXSdk\\Camera_00\\Gain]\r\n"
    "\"Global\"=dword:0000012c\r\n"
    "\"Exposure\"=dword:00000200\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Other\\Tool]\r\n"
    "; a note the user left\r\n"
    "@=\"default text\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\Tool \\\"x\\\"\"\r\n"
    "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18\r\n"
    "\"Wide\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n";

TEST(RegText, ReadsUtf16Version5ExportsAndPlainUtf8Alike) {
  const std::string fromUtf16 = parsed(pelnik::test::utf16leWithBom(kForeignExport)).format();
  const std::string fromUtf8 = parsed("\xEF\xBB\xBF" + kForeignExport).format();
  EXPECT_EQ(fromUtf16, fromUtf8);

  const RegDocument document = parsed(pelnik::test::utf16leWithBom(kForeignExport));
  const auto *global = document.findValue(pelnik::test::fullKey("Camera_00\\Gain"), "Global");
  ASSERT_NE(global, nullptr);
  EXPECT_EQ(global->data, (std::vector<std::uint8_t>{0x2c, 0x01, 0, 0}));
  const auto *blob = document.findValue("HKEY_CURRENT_USER\\Software\\Other\\Tool", "Blob");
  ASSERT_NE(blob, nullptr);
  EXPECT_EQ(blob->data.size(), 24u);  // continued over two lines
  const auto *path = document.findValue("HKEY_CURRENT_USER\\Software\\Other\\Tool", "Path");
  ASSERT_NE(path, nullptr);
  const std::string text(path->data.begin(), path->data.end() - 1);
  EXPECT_EQ(text, "C:\\Program Files\\Tool \"x\"");
}

TEST(RegText, RewriteKeepsEveryForeignLineAndChangesOnlyWrittenValues) {
  RegDocument document = parsed(kForeignExport);
  const std::string gainKey = pelnik::test::fullKey("Camera_00\\Gain");
  ASSERT_TRUE(document.setDword(gainKey, "exposure", 0x321));  // names ignore case
  ASSERT_TRUE(document.setDword(gainKey, "AutoIris", 2));
  const std::string out = document.format();
  EXPECT_EQ(linesOf(out).front(), "REGEDIT4");

  const auto outLines = linesOf(out);
  auto has = [&](const std::string &line) {
    return std::find(outLines.begin(), outLines.end(), line) != outLines.end();
  };
  bool inForeignKey = false;
  for (const auto &line : linesOf(kForeignExport)) {
    if (line.rfind("[", 0) == 0) inForeignKey = line.find("Other") != std::string::npos;
    if (inForeignKey) {
      EXPECT_TRUE(has(line)) << line;
    }
  }
  EXPECT_TRUE(has("\"Global\"=dword:0000012c"));
  EXPECT_FALSE(has("\"Exposure\"=dword:00000200"));

  const RegDocument again = parsed(out);
  EXPECT_EQ(again.findValue(gainKey, "Exposure")->data,
            (std::vector<std::uint8_t>{0x21, 0x03, 0, 0}));
  EXPECT_EQ(again.format(), out);
}

TEST(RegText, KeysAreCaseBlindImplyTheirParentsAndAreWrittenInOneOrder) {
  RegDocument first;
  first.setDword("HKEY_CURRENT_USER\\B\\Two", "x", 1);
  first.setDword("HKEY_CURRENT_USER\\A", "y", 2);
  first.setDword("HKEY_CURRENT_USER\\B", "z", 3);
  RegDocument second;
  second.setDword("HKEY_CURRENT_USER\\B", "z", 3);
  second.setDword("HKEY_CURRENT_USER\\A", "y", 2);
  second.setDword("HKEY_CURRENT_USER\\B\\Two", "x", 1);
  EXPECT_EQ(first.format(), second.format());
  const std::size_t keyCount = first.keys().size();
  first.setDword("HKEY_CURRENT_USER\\b\\two", "X", 5);
  EXPECT_EQ(first.keys().size(), keyCount);
  EXPECT_EQ(first.findValue("HKEY_CURRENT_USER\\B\\TWO", "x")->data[0], 5);
  EXPECT_EQ(first.keys().at("HKEY_CURRENT_USER\\b\\TWO").entries.size(), 1u);

  const RegDocument read = parsed("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Deep\\Key]\n");
  EXPECT_TRUE(read.hasKey("HKEY_CURRENT_USER\\software"));
  EXPECT_TRUE(read.hasKey("HKEY_CURRENT_USER\\SOFTWARE\\deep"));
  EXPECT_FALSE(read.hasKey("HKEY_CURRENT_USER\\Software\\Deep\\Key\\Below"));
  EXPECT_FALSE(read.hasKey("HKEY_CURRENT_USER\\Software\\Dee"));
  // An empty leaf key is kept; its parents need no sections of their own.
  EXPECT_EQ(parsed(read.format()).keys().size(), read.keys().size());
}

TEST(RegText, StrayCarriageReturnsEndingContinuedLinesAreNotKeptInTheRewrite) {
  // "\r\r\n" leaves a carriage return on the line after the CRLF is taken off;
  // on a continued line it once stayed in the kept text and vanished on the
  // next read, so a rewritten file no longer read back to itself.
  const std::string key = "HKEY_CURRENT_USER\\K";
  const std::vector<std::string> variants = {
      "\"v\"=hex:01,02,\\\r\n  03,04\r\r\n",            // last continued line
      "\"v\"=hex:01,\\\r\n  02,03,\\\r\r\n  04\r\n",    // before the backslash
      "\"v\"=hex:01,02,\\\r\n  03,\\ \r \t\r\n  04\n",  // among other blanks
  };
  for (const auto &value : variants) {
    const std::string file =
        "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n" + value + "; after\r\r\n";
    const RegDocument document = parsed(file);
    const auto *entry = document.findValue(key, "v");
    ASSERT_NE(entry, nullptr) << value;
    EXPECT_EQ(entry->data, (std::vector<std::uint8_t>{1, 2, 3, 4})) << value;
    const std::string out = document.format();
    EXPECT_EQ(out.find('\r'), std::string::npos) << out;
    const RegDocument again = parsed(out);
    EXPECT_EQ(again.format(), out);
    EXPECT_EQ(again.findValue(key, "v")->data, entry->data);
  }
}

TEST(RegText, EmptyFilesHoldNoKeysAndMalformedOnesAreRefused) {
  EXPECT_TRUE(parsed("").keys().empty());
  EXPECT_TRUE(parsed("\r\n  \n").keys().empty());

  const std::string valid = "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000001\n";
  const std::vector<std::string> malformed = {
      "[HKEY_CURRENT_USER\\K]\n\"v\"=dword:1\n",      // no header
      "REGEDIT5\n[HKEY_CURRENT_USER\\K]\n",           // wrong header
      "REGEDIT4\n\"v\"=dword:00000001\n",             // value outside a key
      "REGEDIT4\n[HKEY_CURRENT_USER\\K\n",            // unclosed key
      "REGEDIT4\n[HKEY_CURRENT_USER\\\\K]\n",         // empty path component
      "REGEDIT4\n[Software\\K]\n",                    // no hive
      "REGEDIT4\n[-HKEY_CURRENT_USER\\K]\n",          // deletion
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=-\n",  // value deletion
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:123456789\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=dword:12g4\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=dwo",  // truncated
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=hex:01,0\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v\"=hex:01,\\\n",  // continuation at the end
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"v=dword:00000001\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\nstray text\n",
      valid.substr(0, 20) + std::string("\0\x01\x02", 3) + valid.substr(20),  // binary
      "\xFF\xFE" + std::string("R\0E\0G\0", 6) + std::string("\x00\xD8", 2),  // lone surrogate
      "\xFF\xFE" + std::string("R\0E\0G", 5),                                 // odd length
  };
  ASSERT_TRUE(std::holds_alternative<RegDocument>(RegDocument::parse(valid)));
  for (const auto &text : malformed) {
    EXPECT_TRUE(std::holds_alternative<RegParseError>(RegDocument::parse(text))) << text;
  }
}

}  // namespace
