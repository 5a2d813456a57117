// Host names as UTF-8 text, for the formats that want it.
#ifndef QM_EXPORT_NAMETEXT_H
#define QM_EXPORT_NAMETEXT_H

#include <string>

// Host names are 8-bit strings with no stated encoding. Each byte becomes the
// code point of the same value (Latin-1), so every name survives and reads
// back byte for byte; ASCII names are unchanged.
std::string NameText(const char* name);

#endif  // QM_EXPORT_NAMETEXT_H
