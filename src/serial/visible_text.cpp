#include "serial/visible_text.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

namespace serial {
namespace {

void AppendHexByte(std::string& out, unsigned char byte) {
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02X", byte);
  out += hex;
}

void AppendCodePoint(std::string& out, uint32_t codePoint) {
  char hex[12];
  std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(codePoint));
  out += hex;
}

// The length of the well-formed UTF-8 sequence at the start of text and its code point; 0 when
// it is not one (a stray continuation byte, a cut sequence, an overlong form, a surrogate, or a
// value past U+10FFFF), so each of its bytes is shown as hex.
size_t DecodeUtf8(std::string_view text, uint32_t* codePoint) {
  const auto lead = static_cast<unsigned char>(text[0]);
  struct Form {
    unsigned char first, last;  // the lead bytes of this length
    uint32_t leadBits, minimum;
  };
  static constexpr Form kForms[] = {
      {0xC2, 0xDF, 0x1F, 0x80}, {0xE0, 0xEF, 0x0F, 0x800}, {0xF0, 0xF4, 0x07, 0x10000}};
  size_t length = 0;
  uint32_t value = 0;
  uint32_t minimum = 0;
  for (size_t form = 0; form < std::size(kForms); ++form) {
    if (lead < kForms[form].first || lead > kForms[form].last) continue;
    length = form + 2;
    value = lead & kForms[form].leadBits;
    minimum = kForms[form].minimum;
  }
  if (length == 0) return 0;
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0u) != 0x80u) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

// C1 controls act like escape sequences on many terminals (U+009B is a CSI); the others move
// text to another place than where it was written.
bool IsHiddenControl(uint32_t codePoint) {
  return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x061C ||
         (codePoint >= 0x200B && codePoint <= 0x200F) ||
         (codePoint >= 0x2028 && codePoint <= 0x202E) ||
         (codePoint >= 0x2066 && codePoint <= 0x2069) || codePoint == 0xFEFF;
}

// An ASCII byte as both renderings show it.
void AppendAsciiByte(std::string& out, unsigned char c) {
  if (c == '\\')
    out += "\\\\";
  else if (c == '\t')
    out += "\\t";
  else if (c == '\n')
    out += "\\n";
  else if (c == '\r')
    out += "\\r";
  else if (c < 0x20 || c == 0x7F)
    AppendHexByte(out, c);
  else
    out += static_cast<char>(c);
}

enum class PastAscii { kKeepUtf8, kHex };

std::string Render(std::string_view text, PastAscii pastAscii) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    uint32_t codePoint = 0;
    const size_t length =
        c < 0x80 || pastAscii == PastAscii::kHex ? 0 : DecodeUtf8(text, &codePoint);
    if (c < 0x80) {
      AppendAsciiByte(out, c);
    } else if (length == 0) {
      AppendHexByte(out, c);
    } else if (IsHiddenControl(codePoint)) {
      AppendCodePoint(out, codePoint);
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return out;
}

}  // namespace

std::string VisibleText(std::string_view text) { return Render(text, PastAscii::kKeepUtf8); }

std::string EscapeTranscriptText(std::string_view text) { return Render(text, PastAscii::kHex); }

}  // namespace serial
