#include "support/ProgressDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/ScriptedHost.h"

namespace sonvex {
namespace {

using test::ScriptedHost;

TEST(ProgressDialog, PresetResultStandsWhenTheWindowCannotBeCreated) {
    ScriptedHost host;
    host.bRefuseWindows = true;
    bool ran = false;
    LProgressJob job("Saving Audio File", [&](LProgressDialog&) {
        ran = true;
        return LPROCESS_OK;
    });
    EXPECT_EQ(job.Run(), LPROCESS_FAILED);
    EXPECT_FALSE(ran);
}

TEST(ProgressDialog, CancelIsSeenAtTheNextPumpAndLaterCallsAreHarmless) {
    ScriptedHost host;
    host.iCancelAtPump = 3;
    int pumps = 0;
    LProgressJob job("Job", [&](LProgressDialog& d) {
        while (!d.PumpMessages()) ++pumps;
        d.SetStatusText(0, "after cancel");  // no window: ignored
        d.SetProgress(0.5);
        EXPECT_TRUE(d.PumpMessages());
        EXPECT_EQ(d.Sleep(10), 1);
        return LPROCESS_STOPPED;
    });
    EXPECT_EQ(job.Run(), LPROCESS_STOPPED);
    EXPECT_EQ(pumps, 2);
    for (const auto& c : host.calls) EXPECT_NE(c, "text0:after cancel");
}

TEST(ProgressDialog, StatusLinesProgressAndNesting) {
    ScriptedHost host;
    LProgressJob outer("Outer", [&](LProgressDialog& d) {
        d.SetStatusText(0, "zero");
        d.SetStatusText(2, "ignored");
        d.SetProgress(0.999);
        LProgressJob inner("Inner", [](LProgressDialog& i) {
            i.SetStatusText(1, "inner");
            return LPROCESS_OK;
        });
        return inner.Run();
    });
    EXPECT_EQ(outer.Run(), LPROCESS_OK);
    EXPECT_EQ(host.nMaxNested, 2);
    EXPECT_EQ(host.nOpenWindows, 0);
    std::vector<std::string> expected = {"open:Outer",  "text0:zero", "progress:99", "open:Inner",
                                         "text1:inner", "close",      "close"};
    EXPECT_EQ(host.calls, expected);
}

TEST(ProgressDialog, WaitForHandle) {
    ScriptedHost host;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    LProgressJob job("Wait", [&](LProgressDialog& d) {
        EXPECT_EQ(d.WaitForHandle(fds[0], 50), 2);  // nothing yet: time-out
        (void)!write(fds[1], "x", 1);
        EXPECT_EQ(d.WaitForHandle(fds[0], 10000), 0);  // signalled: at once
        host.iCancelAtPump = host.nPumps + 1;
        int fresh[2];
        EXPECT_EQ(pipe(fresh), 0);
        EXPECT_EQ(d.WaitForHandle(fresh[0], 10000), 1);  // cancelled while waiting
        close(fresh[0]);
        close(fresh[1]);
        return LPROCESS_OK;
    });
    job.Run();
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
}  // namespace sonvex
