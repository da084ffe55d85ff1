// Ending the program while an alarm sounds: the sounds are stopped (which puts
// the mixer back) before the windows go, however the exit path is reached.

#include "core/corefixture.h"

using namespace qv;
using namespace qv::test;

TEST(ExitWhileSounding, SoundsStopBeforeTheWindowsAreUnloaded) {
    CoreFixture f;
    f.p().started = true;
    int unloadsAtStop = -1;
    f.performer.onStopAllSounds = [&] { unloadsAtStop = f.ui.unloads; };
    ASSERT_TRUE(f.p().main.exitProgram(false));
    EXPECT_EQ(unloadsAtStop, 0);
    EXPECT_EQ(f.ui.unloads, 1);
    ASSERT_FALSE(f.performer.calls.empty());
    EXPECT_EQ(f.performer.calls.back().what, "stop");

    // A session command ends the program through the same path.
    CoreFixture g;
    g.p().started = true;
    g.p().commands.runCommand("shutdown");
    ASSERT_FALSE(g.performer.calls.empty());
    EXPECT_EQ(g.performer.calls.back().what, "stop");
}
