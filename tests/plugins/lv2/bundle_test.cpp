// The bundle's TTL, checked by the tools of LV2 itself: every file parses (sordi), and
// lv2_validate finds no error against the specifications' own data.
#include "programs.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(Lv2Bundle, TtlParsesAndValidates) {
  fs::path bundle = ZA32_LV2_BUNDLE;
  std::vector<std::string> validate = {"lv2_validate"};
  for (const char* name : {"manifest.ttl", "za32.ttl"}) {
    fs::path file = bundle / name;
    ASSERT_TRUE(fs::exists(file)) << file;
    ProgramResult parsed = RunProgram({"sordi", file.string(), "file://" + bundle.string() + "/"},
                                      bundle.parent_path());
    EXPECT_EQ(parsed.status, 0) << name << ": " << parsed.err;
    EXPECT_EQ(parsed.err, "") << name;
    validate.push_back(file.string());
  }
  ProgramResult validated = RunProgram(validate, bundle.parent_path());
  EXPECT_EQ(validated.status, 0) << validated.err;
  EXPECT_NE((validated.out + validated.err).find("Found 0 errors"), std::string::npos)
      << validated.out << validated.err;
}
