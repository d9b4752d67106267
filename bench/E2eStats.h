// What the end-to-end benchmark measures, kept apart from the streaming so it can be
// tested: percentiles, gaps in the capture indices of delivered sets, resident memory
// samples, the latency of a frame from its receive stamp, and the simulator's counters.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorix::bench {

// The p-th percentile (0..100, nearest rank) of `values`, which it sorts; 0 for none.
double Percentile(std::vector<double>& values, double p);

// Capture indices of the delivered sets, in the order they came.
class IndexTracker {
public:
    void Add(uint32_t index);

    uint64_t Delivered() const { return m_delivered; }
    // Indices passed over between two delivered ones, and in how many places.
    uint64_t Missing() const { return m_missing; }
    uint64_t GapPlaces() const { return m_gapPlaces; }
    // Indices not above the one before (a repeat, or the camera counting from 0 again).
    uint64_t Backwards() const { return m_backwards; }
    uint32_t First() const { return m_first; }
    uint32_t Last() const { return m_last; }

private:
    uint64_t m_delivered = 0;
    uint64_t m_missing = 0;
    uint64_t m_gapPlaces = 0;
    uint64_t m_backwards = 0;
    uint32_t m_first = 0;
    uint32_t m_last = 0;
};

// The VmRSS line of a /proc/<pid>/status text, in KiB.
std::optional<uint64_t> ParseVmRssKiB(std::string_view status);
// This process's resident memory now, in KiB (0 when it cannot be read).
uint64_t ReadOwnRssKiB();

// Resident memory samples: the first, the last, the smallest and the largest.
class RssSeries {
public:
    void Add(uint64_t kib);

    size_t Count() const { return m_count; }
    uint64_t First() const { return m_first; }
    uint64_t Last() const { return m_last; }
    uint64_t Min() const { return m_min; }
    uint64_t Max() const { return m_max; }

private:
    size_t m_count = 0;
    uint64_t m_first = 0;
    uint64_t m_last = 0;
    uint64_t m_min = 0;
    uint64_t m_max = 0;
};

// The command (thread) name and the user plus system CPU seconds of a /proc/<pid>/stat
// or /proc/<pid>/task/<tid>/stat text.
struct ProcCpu {
    std::string name;
    double seconds = 0;
};
std::optional<ProcCpu> ParseProcStat(const std::string& text, long ticksPerSecond);
std::optional<ProcCpu> ReadProcStat(const std::string& path);
// Every thread of this process by thread id.
std::map<int, ProcCpu> ReadOwnThreadsCpu();

// Busy CPU ticks of the whole machine (every field of the first "cpu" line of /proc/stat
// but idle and iowait), and that in seconds now.
std::optional<uint64_t> ParseBusyTicks(const std::string& procStat);
double ReadMachineBusySeconds();

// Milliseconds from a frame's receive stamp (local time: second, minute, hour,
// millisecond as four u16, lowest first; the millisecond cut, not rounded) to
// `nowMsOfDay`. A stamp from before midnight wraps round the day. Nothing for an invalid
// stamp or one more than half a day away.
std::optional<double> StampLatencyMs(uint64_t stamp, double nowMsOfDay);
// The local time of day now, in milliseconds with their fraction.
double LocalMsOfDayNow();

// One session's counters as quorix-camsim prints them when it stops.
struct SimCounts {
    uint64_t captures = 0;
    uint64_t sent = 0;
    uint64_t dropped = 0;
    uint32_t lastIndex = 0;
};
// "camera SERIAL session N: captures C sent S dropped D last index L"; nothing for any
// other line.
std::optional<SimCounts> ParseSimCounts(const std::string& line);

}  // namespace quorix::bench
