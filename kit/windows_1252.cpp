#include "kit/windows_1252.h"

namespace {

// 0x80 to 0x9F; the rest of the bytes are the same code points as in Latin-1.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The next character of UTF-8 text, or U+FFFD for a broken or overlong sequence.
char32_t NextUtf8(std::string_view text, size_t& at) {
  unsigned char first = static_cast<unsigned char>(text[at++]);
  if (first < 0x80)
    return first;
  int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : -1;
  if (more < 0 || first > 0xF4)
    return 0xFFFD;
  char32_t c = first & (0x3F >> more);
  for (int i = 0; i < more; ++i) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
      return 0xFFFD;
    c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  return c < kLeast[more] || c > 0x10FFFF ? 0xFFFD : c;
}

} // namespace

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  for (char b : bytes) {
    unsigned char u = static_cast<unsigned char>(b);
    PutUtf8(out, u >= 0x80 && u < 0xA0 ? kHigh[u - 0x80] : u);
  }
  return out;
}

std::optional<std::string> Utf8ToWindows1252(std::string_view text, char32_t* unmappable) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    char32_t c = NextUtf8(text, at);
    bool found = c < 0x80 || (c >= 0xA0 && c <= 0xFF);
    unsigned char byte = static_cast<unsigned char>(c);
    for (int i = 0; !found && i < 32; ++i)
      if (kHigh[i] == c) {
        found = true;
        byte = static_cast<unsigned char>(0x80 + i);
      }
    if (!found) {
      if (unmappable)
        *unmappable = c;
      return std::nullopt;
    }
    out += static_cast<char>(byte);
  }
  return out;
}
