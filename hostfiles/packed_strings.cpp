// Sorting a packed run of zero-ended strings. The exchange sort that the listing is
// defined by swaps neighbours only when the first compares greater, so equal strings
// keep their order: its result is the stable sort's, which this reaches in
// O(n log n) comparisons instead of O(n^2).
#include "hostfiles.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct PackedString {
  LPCSTR text;
  size_t bytes; // with its zero
};

} // namespace

void SortPackedStrings(LPSTR begin, LPSTR end) {
  std::vector<PackedString> strings;
  for (LPCSTR at = begin; at < end;) {
    size_t bytes = std::strlen(at) + 1;
    strings.push_back(PackedString{at, bytes});
    at += bytes;
  }
  if (strings.size() < 2)
    return;
  std::stable_sort(
      strings.begin(), strings.end(),
      [](const PackedString& a, const PackedString& b) { return lstrcmpA(a.text, b.text) < 0; });
  std::vector<char> sorted(static_cast<size_t>(end - begin));
  char* to = sorted.data();
  for (const auto& each : strings) {
    std::memcpy(to, each.text, each.bytes);
    to += each.bytes;
  }
  std::memcpy(begin, sorted.data(), sorted.size());
}
