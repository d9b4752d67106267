// The simulator child process: coming up, failing to, and handing back what it printed
// when stopped. A shell stands in for quorix-camsim.
#include "CamsimProcess.h"

#include <gtest/gtest.h>

#include <chrono>

#include "E2eStats.h"

namespace quorix::bench {
namespace {

TEST(CamsimProcess, StopReturnsTheLinesPrintedAfterRunning) {
    CamsimProcess child;
    std::string error;
    ASSERT_TRUE(
        child.Start("/bin/sh",
                    {"-c",
                     "trap 'echo camera Q session 0: captures 3 sent 2 dropped 1 last index "
                     "2; exit 0' TERM; echo 'camera Q: TK5P'; echo 'running; Ctrl-C stops';"
                     " while :; do sleep 0.02; done"},
                    error))
        << error;
    EXPECT_TRUE(child.Running());
    EXPECT_GE(child.CpuSeconds(), 0.0);
    const std::vector<std::string> lines = child.Stop();
    EXPECT_FALSE(child.Running());
    ASSERT_EQ(lines.size(), 1u);  // the lines before "running" are not in it
    const auto counts = ParseSimCounts(lines[0]);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->sent, 2u);
    EXPECT_LT(child.CpuSeconds(), 0.0);  // no process any more
}

TEST(CamsimProcess, AProgramThatDoesNotComeUpFailsAtOnce) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string said;
    };
    const Case cases[] = {
        {"/bin/sh", {"-c", "echo 'address in use'; exit 3"}, "address in use"},
        {"/nonexistent/quorix-camsim", {}, ""},
    };
    for (const Case& c : cases) {
        CamsimProcess child;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(child.Start(c.program, c.args, error)) << c.program;
        // It ended: the 10 s wait for the running line is not used up.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9));
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
        EXPECT_FALSE(child.Running());
        EXPECT_TRUE(child.Stop().empty());
    }
}

TEST(CamsimProcess, OwnFolderIsWhereTheTestRuns) {
    const std::string folder = OwnFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_NE(folder.back(), '/');
}

}  // namespace
}  // namespace quorix::bench
