// Default state of a simulated camera, and the model table lookups.
#include "sim/SimState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorix::sim {

const ModelInfo* FindModel(uint32_t deviceType) {
    for (const ModelInfo& model : kModels) {
        if (model.deviceType == deviceType) {
            return &model;
        }
    }
    return nullptr;
}

const ModelInfo* ParseModel(const std::string& text) {
    for (const ModelInfo& model : kModels) {
        if (text == model.name) {
            return &model;
        }
    }
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return nullptr;
    }
    return FindModel(static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10)));
}

namespace {

std::array<uint8_t, 8> LensRecord(uint8_t sensor, uint16_t width, uint16_t height, uint8_t fps) {
    return {sensor,
            1,
            static_cast<uint8_t>(width & 0xFF),
            static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height & 0xFF),
            static_cast<uint8_t>(height >> 8),
            fps,
            2};
}

SensorState DefaultSensor() {
    SensorState s;
    // Measuring ranges of the three range groups, as the cameras ship them.
    s.measuringRanges[0] = {1848, 3175, 5075, 1450, 3000, 4400, 1, 1, 1};
    s.measuringRanges[1] = {5754, 6662, 8328, 4800, 5600, 7500, 1, 1, 1};
    s.measuringRanges[2] = {11508, 13324, 16656, 9600, 11200, 15000, 1, 1, 1};
    s.pulseCounts.fill(2000);
    // A calibration that every cache check accepts: matrices end in 1, and the first two
    // entries of distortion, rotation and translation are non-zero.
    s.depthIntrinsic = {520.5, 0.0, 319.5, 0.0, 521.25, 239.5, 0.0, 0.0, 1.0};
    // Colour is calibrated at the sensor's full 1920x1080, as hosts scale it to the mode.
    s.colourIntrinsic = {1380.0, 0.0, 960.0, 0.0, 1381.5, 540.0, 0.0, 0.0, 1.0};
    s.depthDistortion = {-0.125, 0.0625, 0.001, -0.002, 0.0, 0.0, 0.0, 0.0};
    s.colourDistortion = {0.09375, -0.1875, 0.0005, 0.0007, 0.03, 0.0, 0.0, 0.0};
    const double angle = 0.01;
    s.rotation = {std::cos(angle), -std::sin(angle), 0.0, std::sin(angle), std::cos(angle),
                  0.0, 0.0, 0.0, 1.0};
    s.translation = {-25.0, 0.5, 0.25};
    s.essential = {0.0, -0.25, 0.5, 0.25, 0.0, 25.0, -0.5, -25.0, 0.0};
    s.fundamental = {0.0, -1e-6, 1e-3, 1e-6, 0.0, 5e-2, -1e-3, -5e-2, 1.0};
    s.lens[1] = LensRecord(1, 640, 480, 30);
    s.lens[2] = LensRecord(2, 640, 360, 30);
    s.imu[0x01] = std::vector<uint8_t>(36, 0);
    s.imu[0x02] = std::vector<uint8_t>(15, 0);
    s.imu[0x03] = std::vector<uint8_t>(11, 0);
    s.imu[0x11] = std::vector<uint8_t>(36, 0);
    s.imu[0x12] = std::vector<uint8_t>(15, 0);
    s.imu[0x13] = std::vector<uint8_t>(11, 0);
    return s;
}

}  // namespace

SimState MakeDefaultState(uint32_t deviceType, const std::string& address,
                          const std::string& serial, uint32_t sessions) {
    SimState state;
    state.deviceType = deviceType;
    state.address = address;
    state.ipAddress = address;
    state.serial = serial;
    // A locally administered MAC whose last byte follows the address's last octet.
    const size_t dot = address.rfind('.');
    const unsigned last =
        dot == std::string::npos ? 2u : static_cast<unsigned>(std::atoi(address.c_str() + dot + 1));
    char mac[18];
    std::snprintf(mac, sizeof(mac), "02:00:00:00:00:%02X", last & 0xFFu);
    state.macAddress = mac;
    state.announce.tof = static_cast<uint8_t>(sessions);
    state.announce.rgb = sessions > 0 ? 1 : 0;
    state.sensors.assign(sessions, DefaultSensor());
    return state;
}

}  // namespace quorix::sim
