// Counting and printing of stream statistics.
#include "cli/StreamStats.h"

#include <algorithm>
#include <cstdio>

#include <quorix/quorix_api.h>

namespace quorix::cli {

namespace {

double PerSecond(uint64_t count, int64_t elapsedMs) {
    return elapsedMs > 0 ? static_cast<double>(count) * 1000.0 / static_cast<double>(elapsedMs)
                         : 0.0;
}

}  // namespace

StreamStats::StreamStats(int64_t startMs)
    : m_startMs(startMs), m_lastSetMs(startMs), m_progressMs(startMs) {}

void StreamStats::OnFrameSet(int64_t nowMs) {
    ++m_sets;
    m_lastSetMs = nowMs;
}

void StreamStats::OnFrame(uint32_t frameType, std::optional<int64_t> latencyMs) {
    switch (frameType) {
        case DepthFrame:
        case WDRDepthFrame:
            ++m_depth;
            break;
        case IRFrame:
            ++m_ir;
            break;
        case RGBFrame:
            ++m_colour;
            break;
        default:
            ++m_other;
            break;
    }
    if (!latencyMs) {
        ++m_unstamped;
        return;
    }
    const int64_t value = *latencyMs;
    Latency& l = m_latency;
    l.min = l.count == 0 ? value : std::min(l.min, value);
    l.max = l.count == 0 ? value : std::max(l.max, value);
    l.last = value;
    l.sum += static_cast<double>(value);
    ++l.count;
}

std::string StreamStats::ProgressLine(int64_t nowMs) {
    const double rate = PerSecond(m_sets - m_progressSets, nowMs - m_progressMs);
    m_progressSets = m_sets;
    m_progressMs = nowMs;
    // Short enough for an 80-column terminal, where it is rewritten in place.
    char text[160];
    int length = std::snprintf(
        text, sizeof(text), "%5.1f fps  sets %llu  timeouts %llu  failures %llu  ", rate,
        static_cast<unsigned long long>(m_sets), static_cast<unsigned long long>(m_timeouts),
        static_cast<unsigned long long>(m_failures));
    if (m_latency.count == 0) {
        return std::string(text) + "latency -";
    }
    std::snprintf(text + length, sizeof(text) - static_cast<size_t>(length),
                  "latency %lld ms (%lld-%lld)", static_cast<long long>(m_latency.last),
                  static_cast<long long>(m_latency.min), static_cast<long long>(m_latency.max));
    return text;
}

std::string StreamStats::Summary(int64_t nowMs) const {
    const int64_t elapsed = nowMs - m_startMs;
    char text[512];
    std::snprintf(text, sizeof(text),
                  "frame sets: %llu in %.1f s (%.1f fps)\n"
                  "frames: depth %llu, IR %llu, colour %llu, mapped %llu\n"
                  "read time-outs: %llu, read failures: %llu\n",
                  static_cast<unsigned long long>(m_sets), static_cast<double>(elapsed) / 1000.0,
                  PerSecond(m_sets, elapsed), static_cast<unsigned long long>(m_depth),
                  static_cast<unsigned long long>(m_ir), static_cast<unsigned long long>(m_colour),
                  static_cast<unsigned long long>(m_other),
                  static_cast<unsigned long long>(m_timeouts),
                  static_cast<unsigned long long>(m_failures));
    std::string summary = text;
    if (m_latency.count == 0) {
        summary += "latency: no frame with a usable time stamp\n";
    } else {
        std::snprintf(text, sizeof(text),
                      "latency: min %lld ms, mean %.1f ms, max %lld ms over %llu frames",
                      static_cast<long long>(m_latency.min),
                      m_latency.sum / static_cast<double>(m_latency.count),
                      static_cast<long long>(m_latency.max),
                      static_cast<unsigned long long>(m_latency.count));
        summary += text;
        if (m_unstamped > 0) {
            summary += " (" + std::to_string(m_unstamped) + " without a usable time stamp)";
        }
        summary += "\n";
    }
    return summary;
}

}  // namespace quorix::cli
