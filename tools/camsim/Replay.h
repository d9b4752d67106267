// quorix-camsim --replay: a simulated camera that is the recorded one. Its identity, texts,
// settings, lists, colour lens, measuring ranges and calibration come from the recording's
// state (fields it does not hold keep the simulator's defaults), so the command connection
// answers as the camera did; its data connection sends the recorded frames.
#pragma once

#include <memory>
#include <string>

#include "record/Recording.h"
#include "sim/ReplayStreamer.h"
#include "sim/SimCamera.h"

namespace quorix::camsim {

struct ReplaySetup {
    std::string file;  // empty: no replay
    bool loop = false;
    double rate = 1.0;
    bool step = false;
};

// The recorded frames of an opened recording, for the replay clock.
class RecordingFrames : public sim::ReplaySource {
public:
    explicit RecordingFrames(const record::RecordingReader& reader) : m_reader(reader) {}
    size_t FrameCount() const override { return m_reader.Frames().size(); }
    uint64_t FrameTimeNs(size_t index) const override { return m_reader.Frames()[index].timeNs; }
    bool ReadFrame(size_t index, std::vector<uint8_t>& out) const override {
        return m_reader.ReadFrame(index, out);
    }

private:
    const record::RecordingReader& m_reader;
};

// The camera's identity from the state: device type, serial number and session count into
// `config`, the replayed session into `session`. False with `error` when the state lacks
// them or holds values no network camera has.
bool ReplayIdentity(const record::RecordedState& state, sim::SimConfig& config, uint32_t& session,
                    std::string& error);

// Writes the recorded state into the camera's state (sensor `session`). Values that do not
// parse are skipped and named in `skipped` (comma-separated), never guessed.
void ApplyRecordedState(const record::RecordedState& state, uint32_t session, sim::SimState& sim,
                        std::string& skipped);

// One setting change of the recording (a `get`/`set` name and its value); false when the
// name or value is not one the camera state holds.
bool ApplySetting(const std::string& name, const std::string& value, uint32_t session,
                  sim::SimState& sim);

}  // namespace quorix::camsim
