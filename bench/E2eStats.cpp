// The end-to-end benchmark's measurements.
#include "E2eStats.h"

#include <dirent.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "cli/FrameClock.h"

namespace quorix::bench {

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(std::clamp(p, 0.0, 100.0) / 100.0 * values.size());
    const size_t index = rank < 1.0 ? 0 : static_cast<size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

void IndexTracker::Add(uint32_t index) {
    if (m_delivered == 0) {
        m_first = index;
    } else if (index > m_last) {
        const uint64_t skipped = index - m_last - 1;
        m_missing += skipped;
        m_gapPlaces += skipped != 0 ? 1 : 0;
    } else {
        ++m_backwards;
    }
    m_last = index;
    ++m_delivered;
}

std::optional<uint64_t> ParseVmRssKiB(std::string_view status) {
    constexpr std::string_view kKey = "VmRSS:";
    size_t at = status.find(kKey);
    while (at != std::string_view::npos && at != 0 && status[at - 1] != '\n') {
        at = status.find(kKey, at + 1);
    }
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string rest(status.substr(at + kKey.size(), 32));
    uint64_t kib = 0;
    char unit[8] = {};
    if (std::sscanf(rest.c_str(), "%" SCNu64 " %7s", &kib, unit) != 2 ||
        std::string_view(unit) != "kB") {
        return std::nullopt;
    }
    return kib;
}

uint64_t ReadOwnRssKiB() {
    std::ifstream file("/proc/self/status");
    std::stringstream text;
    text << file.rdbuf();
    return ParseVmRssKiB(text.str()).value_or(0);
}

void RssSeries::Add(uint64_t kib) {
    if (m_count == 0) {
        m_first = m_min = m_max = kib;
    }
    m_last = kib;
    m_min = std::min(m_min, kib);
    m_max = std::max(m_max, kib);
    ++m_count;
}

std::optional<ProcCpu> ParseProcStat(const std::string& text, long ticksPerSecond) {
    // The name is in parentheses and may hold spaces and parentheses itself; the fields
    // after it start with field 3 (state); utime is field 14, stime 15.
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        ticksPerSecond <= 0) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    int k = 3;
    for (; k <= 15 && fields >> field; ++k) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(field.c_str(), &end, 10);
        if (k == 14 || k == 15) {
            if (end == field.c_str() || *end != '\0') {
                return std::nullopt;
            }
            (k == 14 ? utime : stime) = value;
        }
    }
    if (k <= 15) {
        return std::nullopt;
    }
    return ProcCpu{text.substr(open + 1, close - open - 1),
                   static_cast<double>(utime + stime) / static_cast<double>(ticksPerSecond)};
}

std::optional<ProcCpu> ReadProcStat(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return ParseProcStat(text.str(), sysconf(_SC_CLK_TCK));
}

std::map<int, ProcCpu> ReadOwnThreadsCpu() {
    std::map<int, ProcCpu> threads;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return threads;
    }
    while (const dirent* entry = readdir(dir)) {
        const int tid = std::atoi(entry->d_name);
        if (tid <= 0) {
            continue;
        }
        if (auto cpu = ReadProcStat(std::string("/proc/self/task/") + entry->d_name + "/stat")) {
            threads[tid] = *cpu;
        }
    }
    closedir(dir);
    return threads;
}

std::optional<uint64_t> ParseBusyTicks(const std::string& procStat) {
    std::istringstream text(procStat);
    std::string label;
    if (!(text >> label) || label != "cpu") {
        return std::nullopt;
    }
    // user nice system idle iowait irq softirq steal (guest time is inside user)
    uint64_t busy = 0;
    int fields = 0;
    for (uint64_t value = 0; fields < 8 && text >> value; ++fields) {
        busy += fields == 3 || fields == 4 ? 0 : value;
    }
    if (fields < 4) {
        return std::nullopt;
    }
    return busy;
}

double ReadMachineBusySeconds() {
    std::ifstream file("/proc/stat");
    std::string line;
    std::getline(file, line);
    return static_cast<double>(ParseBusyTicks(line).value_or(0)) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::optional<double> StampLatencyMs(uint64_t stamp, double nowMsOfDay) {
    const std::optional<cli::ClockTime> received = cli::DecodeStamp(stamp);
    if (!received) {
        return std::nullopt;
    }
    constexpr auto kDay = static_cast<double>(cli::kMillisecondsPerDay);
    double latency = nowMsOfDay - static_cast<double>(cli::MillisecondOfDay(*received));
    if (latency < -kDay / 2) {
        latency += kDay;  // received before midnight, read after it
    }
    if (std::abs(latency) >= kDay / 2) {
        return std::nullopt;
    }
    return latency;
}

double LocalMsOfDayNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const int seconds = std::min(local.tm_sec, 59);  // a leap second stays in its minute
    return ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + seconds) * 1000.0 +
           static_cast<double>(now.tv_nsec) / 1e6;
}

std::optional<SimCounts> ParseSimCounts(const std::string& line) {
    SimCounts c;
    unsigned session = 0;
    unsigned long long captures = 0, sent = 0, dropped = 0;
    int consumed = 0;
    if (std::sscanf(
            line.c_str(),
            "camera %*s session %u: captures %llu sent %llu dropped %llu last index %" SCNu32 "%n",
            &session, &captures, &sent, &dropped, &c.lastIndex, &consumed) != 5 ||
        consumed == 0) {
        return std::nullopt;
    }
    c.captures = captures;
    c.sent = sent;
    c.dropped = dropped;
    return c;
}

}  // namespace quorix::bench
