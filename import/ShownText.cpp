#include "ShownText.h"

#include <cstdio>

namespace {

void AppendHex(std::string& text, unsigned char byte) {
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02X", byte);
  text += hex;
}

// Appends the escape of a control character, or with `quotable` of a
// backslash or a quote; false for any other byte.
bool AppendEscape(std::string& text, unsigned char byte, bool quotable = true) {
  switch (byte) {
    case '\\':
    case '"':
      if (!quotable) return false;
      text += '\\';
      text += static_cast<char>(byte);
      return true;
    case '\n': text += "\\n"; return true;
    case '\r': text += "\\r"; return true;
    case '\t': text += "\\t"; return true;
    default: break;
  }
  if (byte >= 0x20 && byte != 0x7F) return false;
  AppendHex(text, byte);
  return true;
}

// The length of the valid UTF-8 sequence at the start of `text` (2 to 4), or
// 0 when it starts none: no overlong forms, no surrogates, nothing past
// U+10FFFF.
std::size_t SequenceLength(std::string_view text) {
  const auto at = [&](std::size_t n) { return static_cast<unsigned char>(text[n]); };
  const unsigned char lead = at(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t n = 2; n < length; ++n)
    if (at(n) < 0x80 || at(n) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string ShownName(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xA0) {
      AppendHex(text, byte);  // C1
    } else if (byte >= 0xA0) {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    } else if (!AppendEscape(text, byte)) {
      text += c;
    }
  }
  return text;
}

std::string QuotedName(std::string_view name) { return "\"" + ShownName(name) + "\""; }

namespace {

std::string ShownUtf8(std::string_view path, bool quotable) {
  std::string text;
  text.reserve(path.size());
  for (std::size_t n = 0; n < path.size();) {
    const unsigned char byte = static_cast<unsigned char>(path[n]);
    if (byte < 0x80) {
      if (!AppendEscape(text, byte, quotable)) text += path[n];
      ++n;
      continue;
    }
    const std::size_t length = SequenceLength(path.substr(n));
    // U+0080 to U+009F, C1 controls, are C2 80 to C2 9F.
    const bool control =
        length == 2 && byte == 0xC2 && static_cast<unsigned char>(path[n + 1]) < 0xA0;
    if (length == 0 || control) {
      for (std::size_t b = 0; b < (length == 0 ? 1 : length); ++b)
        AppendHex(text, static_cast<unsigned char>(path[n + b]));
      n += length == 0 ? 1 : length;
    } else {
      text.append(path.substr(n, length));
      n += length;
    }
  }
  return text;
}

}  // namespace

std::string ShownPath(std::string_view path) { return ShownUtf8(path, true); }

std::string TerminalSafe(std::string_view text) { return ShownUtf8(text, false); }
