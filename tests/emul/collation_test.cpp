// lstrcmpA and lstrcmpiA against every pair of the record of the system's answers
// (tests/data/windows_collation.txt, made by tests/win/collation_probe/record-collation).
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Sign(int n) {
  return (n > 0) - (n < 0);
}

std::string FromHex(const std::string& hex) {
  std::string text;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

std::string Shown(const std::string& name) {
  std::ostringstream out;
  for (unsigned char c : name)
    if (c >= 0x20 && c < 0x7f)
      out << c;
    else
      out << "\\x" << std::hex << static_cast<int>(c) << std::dec;
  return '"' + out.str() + '"';
}

} // namespace

TEST(Collation, AgreesWithTheSystemOnEveryRecordedPair) {
  std::ifstream record(ZA32_TEST_DATA "/windows_collation.txt");
  ASSERT_TRUE(record) << "cannot read the record";
  std::string line;
  size_t pairs = 0, disagreements = 0;
  while (std::getline(record, line)) {
    std::istringstream fields(line);
    std::string word, group;
    size_t count = 0;
    fields >> word >> group >> count;
    if (word != "group")
      continue;
    std::vector<std::string> names(count);
    for (auto& name : names) {
      std::getline(record, line);
      name = FromHex(line);
    }
    for (size_t i = 0; i + 1 < count; ++i) {
      std::getline(record, line);
      ASSERT_EQ(line.size(), count - 1 - i) << group << " row " << i;
      for (size_t j = i + 1; j < count; ++j) {
        int digit = line[j - i - 1] - '0';
        const char* a = names[i].c_str();
        const char* b = names[j].c_str();
        int sensitive = digit / 3 - 1, insensitive = digit % 3 - 1;
        bool agree = Sign(lstrcmpA(a, b)) == sensitive && Sign(lstrcmpA(b, a)) == -sensitive &&
                     Sign(lstrcmpiA(a, b)) == insensitive && Sign(lstrcmpiA(b, a)) == -insensitive;
        ++pairs;
        if (!agree && ++disagreements <= 20)
          ADD_FAILURE() << group << ": " << Shown(names[i]) << " vs " << Shown(names[j])
                        << ": system " << sensitive << "/" << insensitive << ", here "
                        << Sign(lstrcmpA(a, b)) << "/" << Sign(lstrcmpiA(a, b));
      }
    }
  }
  EXPECT_GT(pairs, 400000u);
  EXPECT_EQ(disagreements, 0u) << "of " << pairs << " pairs";
}
