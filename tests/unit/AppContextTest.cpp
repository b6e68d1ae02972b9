// Two contexts in one process share nothing: prompts, Settings folder, debug flag and the
// request to quit each belong to the program (or test) that built the context.
#include <gtest/gtest.h>

#include "core/AppContext.h"
#include "support/RecordingPrompts.h"

using namespace kestrel;

TEST(AppContext, TwoContextsInOneProcessShareNothing) {
  test::RecordingPrompts first, second;
  AppContext a("/tmp/a-settings", &first, /*debugMode=*/true);
  AppContext b("/tmp/b-settings");
  int quits = 0;
  a.SetTerminationHandler([&] { ++quits; });

  b.SetPrompts(&second);
  a.CurrentPrompts().Show(PromptKind::InfoOk, "to a");
  b.CurrentPrompts().Show(PromptKind::InfoOk, "to b");
  b.RequestTermination();

  EXPECT_EQ(first.Shown().size(), 1u);
  EXPECT_EQ(second.Shown().size(), 1u);
  EXPECT_EQ(a.SettingsDir(), "/tmp/a-settings");
  EXPECT_EQ(b.CurrentSettingsFolder().place, SettingsPlace::Given);
  EXPECT_TRUE(a.DebugMode());
  EXPECT_FALSE(b.DebugMode());
  EXPECT_TRUE(b.TerminationRequested());
  EXPECT_FALSE(a.TerminationRequested());
  EXPECT_EQ(quits, 0);
  a.RequestTermination();
  EXPECT_EQ(quits, 1);
  // Without prompts of its own a context tells standard error, never another context's prompts.
  b.SetPrompts(nullptr);
  b.CurrentPrompts().Show(PromptKind::InfoOk, "to standard error");
  EXPECT_EQ(second.Shown().size(), 1u);
}
