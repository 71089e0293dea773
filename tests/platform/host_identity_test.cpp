// The machine ID a report carries: what counts as one, and what is left out.

#include "platform/host_identity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace {

TEST(HostIdentity, OnlyThirtyTwoLowerCaseHexDigitsAreAMachineId) {
  testsupport::TempDir temp("machine-id");
  ASSERT_TRUE(temp.Valid());
  const std::string file = temp.In("machine-id");
  const std::string id = "3d1219c7c4c5404aaa1f6d2a48adfda4";
  const struct {
    const char* name;
    std::string content;
    std::optional<std::string> expected;
  } cases[] = {
      {"with its newline", id + "\n", id},
      {"without a newline", id, id},
      {"empty, as on a first boot", "", std::nullopt},
      {"upper case", "3D1219C7C4C5404AAA1F6D2A48ADFDA4\n", std::nullopt},
      {"one digit short", id.substr(1) + "\n", std::nullopt},
      {"a longer line", id + "0\n", std::nullopt},
      {"two lines", id + "\n" + id + "\n", std::nullopt},
      {"not hex", "3d1219c7c4c5404aaa1f6d2a48adfdxz\n", std::nullopt},
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::trunc) << c.content;
    EXPECT_EQ(platform::MachineId(file.c_str()), c.expected) << c.name;
  }
  ::unlink(file.c_str());
  EXPECT_EQ(platform::MachineId(file.c_str()), std::nullopt) << "missing";
  EXPECT_EQ(platform::MachineId(temp.Path().c_str()), std::nullopt) << "a directory";
}

}  // namespace
