// Windows string functions.
#include "collation.h"
#include "kernel32.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

// The system's locale-aware order of names (collation.cpp); a missing string sorts as
// the empty one.
extern "C" int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  return CompareNames(a ? a : "", b ? b : "", false);
}

extern "C" int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  return CompareNames(a ? a : "", b ? b : "", true);
}

extern "C" LPSTR WINAPI lstrcpyA(LPSTR dest, LPCSTR src) {
  if (!dest || !src)
    return nullptr;
  return std::strcpy(dest, src);
}

extern "C" LPSTR WINAPI lstrcpynA(LPSTR dest, LPCSTR src, int max) {
  if (!dest || !src || max <= 0)
    return dest;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i)
    dest[i] = src[i];
  dest[i] = 0;
  return dest;
}

extern "C" LPSTR WINAPI lstrcatA(LPSTR dest, LPCSTR src) {
  if (!dest || !src)
    return nullptr;
  return std::strcat(dest, src);
}

extern "C" int WINAPI lstrlenA(LPCSTR s) {
  return s ? static_cast<int>(std::strlen(s)) : 0;
}

// wsprintfA writes at most 1024 characters and the terminating zero, and knows no
// floating point: %c %d %i %u %x %X %s with the flags '-', '0' and '#', a width, a
// precision and the size prefixes 'l' and 'h'.
extern "C" int WINAPI wvsprintfA(LPSTR out, LPCSTR format, va_list args) {
  constexpr size_t limit = 1024;
  size_t n = 0;
  auto put = [&](const char* text, size_t len) {
    for (size_t i = 0; i < len && n < limit; ++i)
      out[n++] = text[i];
  };
  for (const char* p = format; *p && n < limit;) {
    if (*p != '%') {
      put(p++, 1);
      continue;
    }
    const char* start = p++;
    char spec[32] = "%";
    size_t s = 1;
    while (*p == '-' || *p == '0' || *p == '#') {
      if (s < 8)
        spec[s++] = *p;
      ++p;
    }
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      if (s < 16)
        spec[s++] = *p;
      ++p;
    }
    if (*p == '.') {
      spec[s++] = *p++;
      while (std::isdigit(static_cast<unsigned char>(*p))) {
        if (s < 24)
          spec[s++] = *p;
        ++p;
      }
    }
    if (*p == 'l' || *p == 'h')
      ++p;
    char type = *p;
    if (!type)
      break;
    ++p;
    char piece[1100];
    int len = 0;
    switch (type) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'c':
      spec[s++] = type;
      spec[s] = 0;
      len = std::snprintf(piece, sizeof piece, spec, va_arg(args, int));
      break;
    case 's': {
      const char* text = va_arg(args, const char*);
      spec[s++] = 's';
      spec[s] = 0;
      len = std::snprintf(piece, sizeof piece, spec, text ? text : "(null)");
      break;
    }
    case '%':
      piece[0] = '%';
      len = 1;
      break;
    default:
      // Unknown conversions are copied as they stand.
      len = static_cast<int>(p - start);
      std::memcpy(piece, start, static_cast<size_t>(len));
      break;
    }
    if (len > 0)
      put(piece, std::min(static_cast<size_t>(len), sizeof piece - 1));
  }
  out[n] = 0;
  return static_cast<int>(n);
}

extern "C" int wsprintfA(LPSTR out, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(out, format, args);
  va_end(args);
  return n;
}
