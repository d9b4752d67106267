// A recording file, as quorix-camsim --replay and quorix-cli info read it: the container is
// opened from memory, every indexed frame is read back, and the recorded state is turned
// into a simulated camera's identity and state as the replay does.
#include <string>
#include <vector>

#include "camsim/Replay.h"
#include "record/Recording.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    record::RecordingReader reader;
    std::string error;
    if (!reader.Open(record::MemorySource({data, data + size}), error)) {
        if (error.empty()) {
            __builtin_trap();  // every refusal says why
        }
        return 0;
    }
    std::vector<uint8_t> frame;
    for (size_t i = 0; i < reader.Frames().size(); ++i) {
        std::string why;
        if (!reader.ReadFrame(i, frame) || !record::CheckDataFrame(frame.data(), frame.size(), why) ||
            frame.size() != reader.Frames()[i].length) {
            __builtin_trap();  // indexed frames are whole data frames inside the file
        }
    }
    sim::SimConfig config;
    uint32_t session = 0;
    if (camsim::ReplayIdentity(reader.State(), config, session, error)) {
        if (session >= config.sessions || config.sessions > sim::kMaxSessions) {
            __builtin_trap();
        }
        sim::SimState state =
            sim::MakeDefaultState(config.deviceType, "127.0.0.2", config.serial, config.sessions);
        std::string skipped;
        camsim::ApplyRecordedState(reader.State(), session, state, skipped);
        for (const record::SettingChange& change : reader.Changes()) {
            camsim::ApplySetting(change.name, change.value, session, state);
        }
    }
    return 0;
}
