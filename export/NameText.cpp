#include "NameText.h"

std::string NameText(const char* name) {
  std::string text;
  for (const unsigned char* at = reinterpret_cast<const unsigned char*>(name); *at != 0; ++at) {
    if (*at < 0x80) {
      text += static_cast<char>(*at);
    } else {
      text += static_cast<char>(0xC0 | (*at >> 6));
      text += static_cast<char>(0x80 | (*at & 0x3F));
    }
  }
  return text;
}
