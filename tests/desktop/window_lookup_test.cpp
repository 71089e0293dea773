// Finding another program's top-level window by its whole title, on a private Xvfb.

#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop/window_lookup.h"
#include "ui/x_test_server.h"

namespace {

constexpr char kTitle[] = "Built-In Modem Diagnostics";

class WindowLookup : public testing::Test {
 protected:
  void SetUp() override {
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ASSERT_TRUE(client.Connected());
  }
  ui_test::XTestServer server;
  ui_test::XClient client{server.Display()};
};

TEST_F(WindowLookup, NothingIsFoundOnAnEmptyDisplay) {
  EXPECT_FALSE(desktop::TopLevelWindowExists(kTitle));
  EXPECT_TRUE(desktop::XDisplayAvailable());
}

TEST_F(WindowLookup, AnUnmappedWindowInAnotherLetterCaseIsFound) {
  client.TopLevel("bUILT-in MODEM diagnostics");
  EXPECT_TRUE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, AMappedWindowIsFound) {
  client.Map(client.TopLevel(kTitle));
  EXPECT_TRUE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, AUtf8NetWmNameAloneIsEnough) {
  client.SetNetWmName(client.TopLevel(nullptr), "BUILT-IN MODEM DIAGNOSTICS");
  EXPECT_TRUE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, OnlyTheWholeTitleCounts) {
  client.TopLevel("Built-In Modem Diagnostics 2");
  client.TopLevel("Old Built-In Modem Diagnostics");
  client.TopLevel("Built-In Modem Diagnostic");
  client.TopLevel("Built-In Modem Diagnostics ");
  // A second copy of the tool itself has its own title and never blocks start-up.
  client.TopLevel("Kalvex Internal Modem Diagnostics Tool");
  EXPECT_FALSE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, ClientsInsideWindowManagerFramesAreFound) {
  client.FramedClient("built-in modem diagnostics");
  EXPECT_TRUE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, ClientsWrappedTwiceInsideAFrameAreFound) {
  client.FramedClient(kTitle, 2);
  EXPECT_TRUE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, AChildWindowThatIsNoClientDoesNotCount) {
  client.TitledChild(kTitle);
  EXPECT_FALSE(desktop::TopLevelWindowExists(kTitle));
}

TEST_F(WindowLookup, NoDisplayMeansNothingFound) {
  ::unsetenv("DISPLAY");
  EXPECT_FALSE(desktop::XDisplayAvailable());
  EXPECT_FALSE(desktop::TopLevelWindowExists(kTitle));
  ::setenv("DISPLAY", ":9999", 1);  // a display nobody serves
  EXPECT_FALSE(desktop::TopLevelWindowExists(kTitle));
  EXPECT_FALSE(desktop::TopLevelWindowExists(nullptr));
}

}  // namespace
