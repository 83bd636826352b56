// Records how the system compares names: lstrcmpA and lstrcmpiA on generated sets of
// names, and the sort key of every single byte, written to the file named on the command
// line. The Linux stand-in is generated from and checked against this record (see
// record-collation beside this file for the format and how to regenerate it).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

int Sign(int n) {
  return (n > 0) - (n < 0);
}

Names EveryByte(const std::string& before, const std::string& after) {
  Names names;
  for (int c = 1; c < 256; ++c)
    names.push_back(before + static_cast<char>(c) + after);
  return names;
}

// Every name of 1 to `longest` characters over `alphabet`.
Names Combinations(const std::string& alphabet, size_t longest) {
  Names names, last = {""};
  for (size_t length = 1; length <= longest; ++length) {
    Names next;
    for (const auto& stem : last)
      for (char c : alphabet)
        next.push_back(stem + c);
    names.insert(names.end(), next.begin(), next.end());
    last = next;
  }
  return names;
}

// Names that put each rule against the others: ignorable and word-sort characters,
// expansions, diacritics, case, digits, punctuation and prefixes.
Names Rules() {
  return {"ab",
          "a-b",
          "abc",
          "ab-c",
          "a'b",
          "a\xadz",
          "az",
          "co-op",
          "coop",
          "co'op",
          "Co-op",
          "COOP",
          "ete.wav",
          "\xe9t\xe9.wav",
          "ez.wav",
          "Ete.wav",
          "\xc9t\xe9.wav",
          "etE.wav",
          "\xdf.wav",
          "ss.wav",
          "SS.wav",
          "s\xdf.wav",
          "sss.wav",
          "st.wav",
          "\xe6.wav",
          "ae.wav",
          "AE.wav",
          "\xc6.wav",
          "af.wav",
          "ad.wav",
          "\x9c.wav",
          "oe.wav",
          "\x8c.wav",
          "OE.wav",
          "\xfe.wav",
          "th.wav",
          "kick.wav",
          "kick,1.wav",
          "kick;1.wav",
          "kick1.wav",
          "kick10.wav",
          "kick2.wav",
          "kick 1.wav",
          "kick_1.wav",
          "kick-1.wav",
          "kick.WAV",
          "Kick.wav",
          "KICK.WAV",
          "kick",
          "kicks",
          "kick-",
          "kick\xad",
          "-kick",
          "'kick",
          "snare\xad.wav",
          "snare.wav",
          "sn-are.wav",
          "sn'are.wav",
          "sn\xad"
          "are.wav",
          "s-n-a-r-e.wav",
          "\xbd.wav",
          "1/2.wav",
          "\xb2.wav",
          "2.wav",
          "\xaa.wav",
          "a.wav",
          "\xba.wav",
          "o.wav",
          "\x9f.wav",
          "y.wav",
          "\xff.wav",
          "Y.wav",
          "\x83.wav",
          "f.wav",
          "\x8a.wav",
          "S.wav",
          "\x9a.wav",
          "s.wav",
          "\xb5.wav",
          "\xd0.wav",
          "d.wav",
          "\xf0.wav",
          "\xd8.wav",
          "\xf8.wav",
          "\x85.wav",
          "....wav",
          "\x96.wav",
          "\x97.wav",
          "\x91.wav",
          "\x92.wav",
          "",
          "a",
          "A",
          "\xe0",
          "\xc0",
          "-",
          "'",
          "\xad",
          "--",
          "-a",
          "a-",
          "-\xe0"};
}

struct Group {
  const char* name;
  Names names;
};

void WriteHex(FILE* out, const std::string& name) {
  for (unsigned char c : name)
    std::fprintf(out, "%02x", c);
  std::fputc('\n', out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: collation_probe OUTPUT\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "codepage %u locale %04lx\n", GetACP(),
               static_cast<unsigned long>(GetThreadLocale()));

  // The sort key of every byte alone, as the system makes it, with and without case.
  const DWORD keyFlags[] = {0, NORM_IGNORECASE};
  for (DWORD flags : keyFlags) {
    std::fprintf(out, "sortkeys %s\n", flags ? "ignorecase" : "plain");
    for (int c = 1; c < 256; ++c) {
      char text[2] = {static_cast<char>(c), 0};
      BYTE key[64];
      int n = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | flags, text, 1,
                           reinterpret_cast<char*>(key), sizeof key);
      for (int i = 0; i < n; ++i)
        std::fprintf(out, "%02x", key[i]);
      std::fputc('\n', out);
    }
  }

  const std::vector<Group> groups = {
      {"alone", EveryByte("", "")},
      {"first", EveryByte("", "bc")},
      {"middle", EveryByte("b", "c")},
      {"last", EveryByte("bc", "")},
      {"case",
       [] {
         Names names = EveryByte("b", "c"), upper = EveryByte("B", "c");
         names.insert(names.end(), upper.begin(), upper.end());
         return names;
       }()},
      {"rules", Rules()},
      {"pairs", Combinations("aAe\xe9\xc9-'\xdfs\xad .1\xe6", 2)},
      {"triples", Combinations("aA\xe1-'\xad"
                               "s\xdf",
                               3)},
  };
  int asymmetric = 0;
  for (const auto& group : groups) {
    const Names& names = group.names;
    std::fprintf(out, "group %s %zu\n", group.name, names.size());
    for (const auto& name : names)
      WriteHex(out, name);
    // One digit a pair i < j, row by row: 3 * (sign of lstrcmpA + 1) + sign of lstrcmpiA + 1.
    for (size_t i = 0; i + 1 < names.size(); ++i) {
      std::string row;
      for (size_t j = i + 1; j < names.size(); ++j) {
        const char* a = names[i].c_str();
        const char* b = names[j].c_str();
        int sensitive = Sign(lstrcmpA(a, b)), insensitive = Sign(lstrcmpiA(a, b));
        if (sensitive != -Sign(lstrcmpA(b, a)) || insensitive != -Sign(lstrcmpiA(b, a)))
          ++asymmetric;
        row += static_cast<char>('0' + 3 * (sensitive + 1) + insensitive + 1);
      }
      std::fprintf(out, "%s\n", row.c_str());
    }
  }
  std::fprintf(out, "end\n");
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  if (asymmetric) {
    std::fprintf(stderr, "collation_probe: %d pairs compare differently in reverse\n", asymmetric);
    return 1;
  }
  return 0;
}
