// Texts of the `info` and `get` lines.
#include "cli/InfoText.h"

#include "cli/Diagnosis.h"

#include <cstdio>
#include <cstring>

namespace quorix::cli {

namespace {

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Significant(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

std::string ItemLine(std::string_view label, NsReturnStatus status, std::string_view value) {
    std::string line(label);
    line += ": ";
    if (status == NsStatusOk) {
        line += value;
    } else {
        line += "unavailable: " + StatusText(status);
    }
    return line;
}

std::string BoundedText(const char* buffer, size_t capacity) {
    return std::string(buffer, strnlen(buffer, capacity));
}

std::string IntrinsicsText(const NsCameraParameters& p) {
    return "fx " + Fixed(p.fx, 3) + " px, fy " + Fixed(p.fy, 3) + " px, cx " + Fixed(p.cx, 3) +
           " px, cy " + Fixed(p.cy, 3) + " px";
}

std::string DistortionText(const NsCameraParameters& p) {
    std::string text;
    for (double d : p.distortion) {
        text += (text.empty() ? "" : " ") + Significant(d);
    }
    return text;
}

std::string RotationText(const NsCameraExtrinsicParameters& e) {
    std::string text = "[";
    for (size_t i = 0; i < 9; ++i) {
        text += (i == 0 ? "" : i % 3 == 0 ? "; " : " ") + Fixed(e.rotation[i], 6);
    }
    return text + "]";
}

std::string TranslationText(const NsCameraExtrinsicParameters& e) {
    return "x " + Fixed(e.translation[0], 3) + " mm, y " + Fixed(e.translation[1], 3) + " mm, z " +
           Fixed(e.translation[2], 3) + " mm";
}

std::string MeasuringRangeText(const NsMeasuringRange& r, unsigned position) {
    const uint16_t minimum[3] = {r.effectDepthMinNear, r.effectDepthMinMid, r.effectDepthMinFar};
    const uint16_t effective[3] = {r.effectDepthMaxNear, r.effectDepthMaxMid, r.effectDepthMaxFar};
    const uint16_t maximum[3] = {r.depthMaxNear, r.depthMaxMid, r.depthMaxFar};
    const unsigned i = position < 3 ? position : 2;
    return "effective " + std::to_string(minimum[i]) + " to " + std::to_string(effective[i]) +
           " mm, maximum " + std::to_string(maximum[i]) + " mm";
}

bool CountedListText(const uint8_t* data, size_t delivered, size_t maxEntries, std::string& text) {
    text.clear();
    if (data == nullptr || delivered == 0) {
        text = "empty reply";
        return false;
    }
    const size_t count = data[0];
    if (count > maxEntries || count > delivered - 1) {
        text = "malformed list: " + std::to_string(count) + " entries announced, " +
               std::to_string(delivered - 1 < maxEntries ? delivered - 1 : maxEntries) +
               " can be there";
        return false;
    }
    if (count == 0) {
        text = "none";
        return true;
    }
    for (size_t i = 1; i <= count; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += std::to_string(data[i]);
    }
    return true;
}

}  // namespace quorix::cli
