// A camera in firmware-upgrade or JSON-transfer mode for the workers' tests: it answers
// state reads from a script (the last record repeats), records what it is sent, and can
// refuse to open or go silent.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/BaseProtocol.h"
#include "protocol/ProtocolTypes.h"

namespace quorix::test {

struct TransferScript {
    std::mutex lock;
    std::deque<TransferState> upgradeStates;
    std::deque<TransferState> jsonStates;
    std::vector<std::string> sent;
    int opensRefused = 0;       // this many opens fail first
    bool silent = false;        // every state read fails
    bool refuseWrites = false;  // state records are not accepted
    uint8_t upgradeSupported = 1;
    uint8_t jsonSupported = 1;
    int32_t modeSwitchResult = 0;

    std::vector<std::string> Sent() {
        std::lock_guard guard(lock);
        return sent;
    }
    void Note(std::string what) {
        std::lock_guard guard(lock);
        sent.push_back(std::move(what));
    }
};

class TransferCamera final : public BaseProtocol {
public:
    explicit TransferCamera(TransferScript& script) : m_script(script) {}

    int32_t OpenDevice() override {
        std::lock_guard guard(m_script.lock);
        m_script.sent.push_back("OpenDevice");
        if (m_script.opensRefused > 0) {
            --m_script.opensRefused;
            return -13;
        }
        return 0;
    }
    int32_t CloseDevice() override { return Note("CloseDevice"); }
    int32_t StopStream() override { return Note("StopStream"); }
    int32_t RebootCamera() override { return Note("RebootCamera"); }
    int32_t GetFWVer(char* text, uint32_t capacity) override {
        snprintf(text, capacity, "%s", "20240115_V45");
        return 0;
    }
    int32_t GetUpgradeIsSupported(uint8_t& supported) override {
        supported = m_script.upgradeSupported;
        return 0;
    }
    int32_t GetJsonIsSupported(uint8_t& supported) override {
        supported = m_script.jsonSupported;
        return 0;
    }
    int32_t SetToUpgradeMode_P(const char* path) override {
        Note(std::string("SetToUpgradeMode_P ") + path);
        return m_script.modeSwitchResult;
    }
    int32_t SetToJsonMode_P() override {
        Note("SetToJsonMode_P");
        return m_script.modeSwitchResult;
    }
    int32_t SetJsonPath_P(const char* path) override {
        return Note(std::string("SetJsonPath_P ") + path);
    }
    int32_t SetUpgradeState(const TransferState& s) override { return Write("SetUpgradeState", s); }
    int32_t SetJsonState(const TransferState& s) override { return Write("SetJsonState", s); }
    int32_t GetUpgradeState(TransferState& s) override { return Read(m_script.upgradeStates, s); }
    int32_t GetJsonState(TransferState& s) override { return Read(m_script.jsonStates, s); }
    int32_t GetProperty(uint32_t, void*, uint32_t&) override { return 0; }

private:
    int32_t Note(std::string what) {
        m_script.Note(std::move(what));
        return 0;
    }
    int32_t Write(const char* name, const TransferState& s) {
        Note(std::string(name) + " " + std::to_string(s.state) + " " + std::to_string(s.value1) +
             " " + std::to_string(s.value2));
        return m_script.refuseWrites ? -104 : 0;
    }
    int32_t Read(std::deque<TransferState>& states, TransferState& s) {
        std::lock_guard guard(m_script.lock);
        if (m_script.silent || states.empty()) {
            return -104;
        }
        s = states.front();
        if (states.size() > 1) {
            states.pop_front();
        }
        return 0;
    }

    TransferScript& m_script;
};

}  // namespace quorix::test
