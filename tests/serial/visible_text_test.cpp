// Text from outside the tool as a terminal or a dialog gets it: hostile strings (terminal title
// and screen sequences, C1 controls, bidirectional overrides, invalid UTF-8) come out as visible
// escapes on one line, and ordinary text, non-ASCII letters included, as it is.

#include "serial/visible_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(VisibleText, HostileStringsBecomeVisibleEscapesAndPlainTextStays) {
  const struct {
    std::string in;
    std::string out;
  } kCases[] = {
      {"Zelto Win Modem V.92", "Zelto Win Modem V.92"},
      {"", ""},
      {"\x1b]0;PWN\x07\x1b[2J\x1b[H", "\\x1B]0;PWN\\x07\\x1B[2J\\x1B[H"},
      {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
      {"nul\0in"s, "nul\\x00in"},
      {"del\x7f", "del\\x7F"},
      {"Z\xc3\xbcrich \xe2\x82\xac", "Z\xc3\xbcrich \xe2\x82\xac"},  // valid UTF-8 stays
      {"csi\xc2\x9b"
       "31m",
       "csi\\u009B31m"},  // C1 CSI, as UTF-8
      {"raw C1 \x9b"
       "2J",
       "raw C1 \\x9B2J"},                                              // a lone C1 byte
      {"rtl\xe2\x80\xaetxt.exe", "rtl\\u202Etxt.exe"},                 // right-to-left override
      {"line\xe2\x80\xa8sep", "line\\u2028sep"},                       // line separator
      {"latin1 caf\xe9", "latin1 caf\\xE9"},                           // not UTF-8
      {"cut \xe2\x82", "cut \\xE2\\x82"},                              // sequence cut short
      {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},                    // overlong "/"
      {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},         // U+D800
      {"past max \xf4\x90\x80\x80", "past max \\xF4\\x90\\x80\\x80"},  // U+110000
      {"stray \x80x", "stray \\x80x"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.out);
    const std::string shown = serial::VisibleText(c.in);
    EXPECT_EQ(shown, c.out);
    for (const char ch : shown) {
      const auto byte = static_cast<unsigned char>(ch);
      EXPECT_FALSE(byte < 0x20 || byte == 0x7F) << "a control byte got through";
    }
  }
}

}  // namespace
