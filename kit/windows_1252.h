// Key maps come from Windows hosts, whose "ANSI" file names are Windows-1252; kit files
// are UTF-8. The five bytes Windows-1252 leaves unassigned map to the control characters
// of the same value, as Windows converts them, so that every name converts back to the
// same bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string Windows1252ToUtf8(std::string_view bytes);

// Empty when `text` holds a character Windows-1252 has no byte for (or is not UTF-8);
// `unmappable` then receives that character (U+FFFD for a broken sequence).
std::optional<std::string> Utf8ToWindows1252(std::string_view text, char32_t* unmappable);
