// Forming host names in the import's 32-byte name buffer.
#ifndef QM_IMPORT_NAMEBUFFER_H
#define QM_IMPORT_NAMEBUFFER_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#if defined(__GNUC__)
#  define QM_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#  define QM_PRINTF_FORMAT(f, a)
#endif

// Zero-fills the buffer, then formats into it; a longer result is cut to 31
// characters and the NUL, as the host keeps no more.
inline void FormName(char (&name)[32], const char* format, ...) QM_PRINTF_FORMAT(2, 3);
inline void FormName(char (&name)[32], const char* format, ...) {
  std::memset(name, 0, sizeof name);
  va_list args;
  va_start(args, format);
  std::vsnprintf(name, sizeof name, format, args);
  va_end(args);
}

// Length of a text field up to its NUL, never past the field's width: a file
// may leave the NUL out.
inline int FieldLength(const char* field, std::size_t width) {
  const void* nul = std::memchr(field, 0, width);
  return static_cast<int>(nul ? static_cast<const char*>(nul) - field
                              : static_cast<std::ptrdiff_t>(width));
}

#endif  // QM_IMPORT_NAMEBUFFER_H
