// Tests of the checks behind quorix-cli's failure messages: who holds a UDP port, whether
// an output folder can be written, and the discovery problem's lines.
#include "cli/Diagnosis.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/TempDir.h"
#include "support/UdpPort.h"

namespace quorix::cli {
namespace {

using test::TempDir;
using test::WriteFile;

constexpr const char* kUdpTitles =
    "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
    "timeout inode ref pointer drops\n";

// A /proc of two processes: 100 holds the IPv4 socket on port 9007 (0x232F), 200 the IPv6
// one; 300 holds a socket of another port; a socket with inode 4444 belongs to no
// process this user can read.
void FakeProc(const std::string& root) {
    std::filesystem::create_directories(root + "/net");
    WriteFile(root + "/net/udp",
              std::string(kUdpTitles) +
                  "  1: 00000000:232F 00000000:0000 07 00000000:00000000 00:00000000 00000000  "
                  "1000        0 1111 2 0000000000000000 0\n"
                  "  2: 0100007F:1F90 00000000:0000 07 00000000:00000000 00:00000000 00000000  "
                  "1000        0 3333 2 0000000000000000 0\n"
                  "garbage line\n");
    WriteFile(root + "/net/udp6",
              std::string(kUdpTitles) +
                  "  1: 00000000000000000000000000000000:232F "
                  "00000000000000000000000000000000:0000 07 00000000:00000000 00:00000000 "
                  "00000000  1000        0 2222 2 0000000000000000 0\n");
    const auto process = [&](const std::string& pid, const std::string& name,
                             const std::string& target) {
        std::filesystem::create_directories(root + "/" + pid + "/fd");
        WriteFile(root + "/" + pid + "/comm", name + "\n");
        std::filesystem::create_symlink(target, root + "/" + pid + "/fd/3");
        std::filesystem::create_symlink("/dev/null", root + "/" + pid + "/fd/0");
    };
    process("100", "listener", "socket:[1111]");
    process("200", "listener6", "socket:[2222]");
    process("300", "other", "socket:[3333]");
    std::filesystem::create_directories(root + "/self");  // not a pid: skipped
}

TEST(UdpPortHolders, FindsTheProcessesOfBothTablesAndSaysWhenOneIsMissing) {
    TempDir dir;
    FakeProc(dir.Path());
    bool complete = false;
    std::vector<PortHolder> holders = UdpPortHolders(9007, complete, dir.Path());
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    ASSERT_EQ(holders.size(), 2u);
    EXPECT_EQ(holders[0].pid, 100);
    EXPECT_EQ(holders[0].name, "listener");
    EXPECT_EQ(holders[1].pid, 200);
    EXPECT_TRUE(complete);

    // A socket on the port that no readable process holds (another user's).
    WriteFile(dir / "net/udp",
              std::string(kUdpTitles) +
                  "  1: 00000000:232F 00000000:0000 07 00000000:00000000 00:00000000 00000000  "
                  "0        0 4444 2 0000000000000000 0\n");
    holders = UdpPortHolders(9007, complete, dir.Path());
    EXPECT_EQ(holders.size(), 1u);  // the IPv6 one
    EXPECT_FALSE(complete);

    EXPECT_TRUE(UdpPortHolders(9009, complete, dir.Path()).empty());
    EXPECT_TRUE(complete);  // nothing on that port, nothing missing
}

TEST(UdpPortHolders, FindsThisProcessOnARealSocket) {
    test::BusyUdpPort socket(INADDR_LOOPBACK);
    ASSERT_NE(socket.Port(), 0);
    bool complete = false;
    const std::vector<PortHolder> holders = UdpPortHolders(socket.Port(), complete);
    socket.Release();
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, getpid());
    EXPECT_TRUE(complete);
}

TEST(DiscoveryProblem, NothingWhileListeningAndTheMessageAndAdviceWhenNot) {
    NsDiscoveryState state{};
    state.status = NsDiscoveryListening;
    state.port = 9007;
    EXPECT_TRUE(DiscoveryProblem(state).empty());

    state.status = NsDiscoveryFailed;
    state.systemError = 98;
    std::snprintf(state.message, sizeof state.message, "UDP port 9007 is in use");
    const std::vector<std::string> lines = DiscoveryProblem(state);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "network discovery is not listening: UDP port 9007 is in use");
    EXPECT_NE(lines.back().find("stop that program"), std::string::npos);
}

TEST(CheckWritableFolder, CreatesMissingFoldersAndRefusesWhatCannotHoldFiles) {
    TempDir dir;
    std::string error;
    EXPECT_TRUE(CheckWritableFolder(dir / "a/b/c", error)) << error;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "a/b/c"));  // the probe is gone

    WriteFile(dir / "file", "x");
    EXPECT_FALSE(CheckWritableFolder(dir / "file/images", error));
    EXPECT_NE(error.find("cannot create the folder " + (dir / "file/images")), std::string::npos)
        << error;
    EXPECT_FALSE(CheckWritableFolder("/proc/quorix", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace quorix::cli
