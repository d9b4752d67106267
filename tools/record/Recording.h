// The recording file of `quorix-cli record` and `quorix-camsim --replay`: a small chunked
// container. A 16-byte file header (magic "QXREC\r\n\x1a", u32 version, u32 zero), then
// chunks: u32 type (four letters), u32 payload length, the payload, u32 CRC-32 of type,
// length and payload. All integers little-endian.
//
//   STAT  the camera as it was at the start: "key=value" lines (RecordedState); first
//   DATA  u64 receive time in ns since the first frame, then one data frame exactly as it
//         arrived on the data connection (its 8-byte header and its payload)
//   SETV  u64 time in ns, then "name=value": a setting changed during the recording
//   ENDR  u64 duration ns, u64 frames, u64 frame bytes, u64 frames dropped; last, written
//         only by a recording that ended cleanly
//
// Chunks make a crash cost only the chunk being written: a reader takes every whole chunk
// and treats a file that ends inside one as cut there. A whole chunk whose CRC does not
// match, an unknown type, or a length beyond kMaxChunkBytes is corruption and the file is
// refused. Unknown versions are refused, never guessed at.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorix::record {

inline constexpr char kMagic[8] = {'Q', 'X', 'R', 'E', 'C', '\r', '\n', '\x1a'};
inline constexpr uint32_t kVersion = 1;
inline constexpr size_t kFileHeaderBytes = 16;
inline constexpr size_t kChunkOverhead = 12;  // type, length, CRC
// Larger than any data frame a camera sends (a raw ToF record with colour).
inline constexpr uint32_t kMaxChunkBytes = 16u << 20;
inline constexpr uint32_t kMaxStateBytes = 1u << 20;

constexpr uint32_t ChunkType(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24);
}
inline constexpr uint32_t kStateChunk = ChunkType("STAT");
inline constexpr uint32_t kDataChunk = ChunkType("DATA");
inline constexpr uint32_t kSettingChunk = ChunkType("SETV");
inline constexpr uint32_t kEndChunk = ChunkType("ENDR");

// The camera's state as ordered "key=value" pairs. Keys are [a-z0-9.-]; values hold no
// line break.
class RecordedState {
public:
    void Set(const std::string& key, const std::string& value);
    // The value, or null when the key is absent.
    const std::string* Find(const std::string& key) const;
    const std::vector<std::pair<std::string, std::string>>& Items() const { return m_items; }

    std::string Encode() const;
    // False with `error` on a line that is not key=value with a valid key.
    bool Decode(const std::string& text, std::string& error);

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

struct EndSummary {
    uint64_t durationNs = 0;
    uint64_t frames = 0;
    uint64_t bytes = 0;
    uint64_t dropped = 0;
};

struct SettingChange {
    uint64_t timeNs = 0;
    std::string name;
    std::string value;
};

// Where a reader gets its bytes: a file, or memory (tests and the fuzz target).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `size` bytes at `offset`; false when they cannot be read.
    virtual bool Read(uint64_t offset, void* out, size_t size) const = 0;
};
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string& error);
std::unique_ptr<ByteSource> MemorySource(std::vector<uint8_t> bytes);

// Reads a recording: Open checks the header and every chunk's CRC once and indexes the
// data frames; ReadFrame then fetches one frame's bytes, checked again against its CRC-free
// length. Nothing in the file is trusted: every length is checked against the file.
class RecordingReader {
public:
    struct Frame {
        uint64_t timeNs;
        uint64_t offset;  // of the frame's bytes in the file
        uint32_t length;
    };

    // False with `error` saying what is wrong and where.
    bool Open(std::unique_ptr<ByteSource> source, std::string& error);

    const RecordedState& State() const { return m_state; }
    const std::vector<Frame>& Frames() const { return m_frames; }
    const std::vector<SettingChange>& Changes() const { return m_changes; }
    // Present when the recording ended cleanly.
    const EndSummary* End() const { return m_hasEnd ? &m_end : nullptr; }
    // The file ends inside a chunk: everything before that chunk was read.
    bool Truncated() const { return m_truncated; }
    uint64_t TruncatedAt() const { return m_truncatedAt; }

    bool ReadFrame(size_t index, std::vector<uint8_t>& out) const;

private:
    std::unique_ptr<ByteSource> m_source;
    RecordedState m_state;
    std::vector<Frame> m_frames;
    std::vector<SettingChange> m_changes;
    EndSummary m_end;
    bool m_hasEnd = false;
    bool m_truncated = false;
    uint64_t m_truncatedAt = 0;
};

// One chunk as it goes into the file, CRC included.
std::vector<uint8_t> EncodeChunk(uint32_t type, const uint8_t* payload, size_t length);
std::vector<uint8_t> EncodeFileHeader(uint32_t version = kVersion);

// Writes a recording with bounded memory: frames handed to AddFrame (from any one thread,
// for example a library tap) wait in a queue of at most `queueLimit` bytes for the writer
// thread; a frame that does not fit is dropped and counted, never blocks the caller. Frames
// may come before Open: a recorder taps the stream from its start, and some of the state
// (the calibration) can only be read once the stream runs; they wait in the same queue.
class RecordingWriter {
public:
    struct Progress {
        uint64_t frames = 0;  // written
        uint64_t bytes = 0;   // of the file so far
        uint64_t dropped = 0;
    };

    explicit RecordingWriter(size_t queueLimit = 64u << 20);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Creates (or replaces) the file, writes the header and the state, then what is queued.
    // False with `error`.
    bool Open(const std::string& path, const RecordedState& state, std::string& error);
    // One data frame as it arrived; its time is taken now. Thread-safe, never blocks long.
    void AddFrame(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                  uint32_t payloadLength);
    void AddSetting(const std::string& name, const std::string& value);
    Progress Current() const;
    // Writes what is queued and the end chunk, syncs and closes. False with `error` when any
    // write failed (the file then holds every chunk written before the failure).
    bool Finish(std::string& error);

private:
    using Clock = std::chrono::steady_clock;
    void Run();
    bool WriteChunk(uint32_t type, const std::vector<uint8_t>& payload);
    uint64_t Elapsed(Clock::time_point now);

    const size_t m_queueLimit;
    int m_fd = -1;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::deque<std::pair<uint32_t, std::vector<uint8_t>>> m_queue;  // type, payload
    size_t m_queuedBytes = 0;
    bool m_stop = false;
    bool m_started = false;  // a first frame set the time origin
    Clock::time_point m_origin{};
    std::atomic<uint64_t> m_frames{0};
    std::atomic<uint64_t> m_frameBytes{0};
    std::atomic<uint64_t> m_fileBytes{0};
    std::atomic<uint64_t> m_dropped{0};
    std::string m_error;  // the first write failure; guarded by m_lock
};

// A recorded frame must be one whole data frame (header type 1, the header's length equal
// to the payload that follows): false with `why` otherwise.
bool CheckDataFrame(const uint8_t* bytes, size_t length, std::string& why);

}  // namespace quorix::record
