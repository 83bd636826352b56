// The order of names in the system's locale-aware comparison, as lstrcmpA and lstrcmpiA
// give it: Windows-1252 names, the default (English) table, word sort.
#pragma once

// -1, 0 or 1 as `a` sorts before, with or after `b`; with `ignoreCase`, letters that
// differ only in case compare equal.
int CompareNames(const char* a, const char* b, bool ignoreCase);
