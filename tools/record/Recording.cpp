// Reading and writing the recording container.
#include "record/Recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace quorix::record {
namespace {

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t GetU64(const uint8_t* p) {
    return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
void PutU64(std::vector<uint8_t>& out, uint64_t v) {
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}

uint32_t Crc(const uint8_t* head, size_t headLength, const uint8_t* payload, size_t length) {
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, head, static_cast<uInt>(headLength));
    // zlib takes uInt lengths; chunks are far below 4 GiB.
    crc = crc32(crc, payload, static_cast<uInt>(length));
    return static_cast<uint32_t>(crc);
}

std::string TypeName(uint32_t type) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((type >> (8 * i)) & 0xFF);
        name += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return name;
}

bool ValidKey(const std::string& key) {
    if (key.empty() || key.size() > 64) {
        return false;
    }
    for (const char c : key) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')) {
            return false;
        }
    }
    return true;
}

class FileSource : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    ~FileSource() override { ::close(m_fd); }
    uint64_t Size() const override { return m_size; }
    bool Read(uint64_t offset, void* out, size_t size) const override {
        auto* p = static_cast<uint8_t*>(out);
        while (size > 0) {
            const ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            p += n;
            offset += static_cast<uint64_t>(n);
            size -= static_cast<size_t>(n);
        }
        return true;
    }

private:
    int m_fd;
    uint64_t m_size;
};

class Memory : public ByteSource {
public:
    explicit Memory(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    uint64_t Size() const override { return m_bytes.size(); }
    bool Read(uint64_t offset, void* out, size_t size) const override {
        if (offset > m_bytes.size() || size > m_bytes.size() - offset) {
            return false;
        }
        std::memcpy(out, m_bytes.data() + offset, size);
        return true;
    }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace

void RecordedState::Set(const std::string& key, const std::string& value) {
    for (auto& item : m_items) {
        if (item.first == key) {
            item.second = value;
            return;
        }
    }
    m_items.emplace_back(key, value);
}

const std::string* RecordedState::Find(const std::string& key) const {
    for (const auto& item : m_items) {
        if (item.first == key) {
            return &item.second;
        }
    }
    return nullptr;
}

std::string RecordedState::Encode() const {
    std::string text;
    for (const auto& [key, value] : m_items) {
        text += key + "=" + value + "\n";
    }
    return text;
}

bool RecordedState::Decode(const std::string& text, std::string& error) {
    m_items.clear();
    size_t start = 0;
    size_t line = 1;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string entry = text.substr(start, end - start);
        const size_t equals = entry.find('=');
        if (equals == std::string::npos || !ValidKey(entry.substr(0, equals)) ||
            entry.find('\0') != std::string::npos) {
            error = "state line " + std::to_string(line) + " is not key=value";
            m_items.clear();
            return false;
        }
        Set(entry.substr(0, equals), entry.substr(equals + 1));
        start = end + 1;
        ++line;
    }
    return true;
}

std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, static_cast<uint64_t>(st.st_size));
}

std::unique_ptr<ByteSource> MemorySource(std::vector<uint8_t> bytes) {
    return std::make_unique<Memory>(std::move(bytes));
}

bool CheckDataFrame(const uint8_t* bytes, size_t length, std::string& why) {
    if (length < 8) {
        why = "shorter than a data frame header";
        return false;
    }
    if (GetU32(bytes) != 1) {
        why = "header type is not 1";
        return false;
    }
    if (GetU32(bytes + 4) != length - 8) {
        why = "header length does not match the bytes recorded";
        return false;
    }
    return true;
}

bool RecordingReader::Open(std::unique_ptr<ByteSource> source, std::string& error) {
    m_source = std::move(source);
    m_state = {};
    m_frames.clear();
    m_changes.clear();
    m_hasEnd = false;
    m_truncated = false;
    const uint64_t size = m_source->Size();
    uint8_t header[kFileHeaderBytes];
    if (size < kFileHeaderBytes || !m_source->Read(0, header, sizeof header) ||
        std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        error = "not a Quorix recording (no QXREC header)";
        return false;
    }
    const uint32_t version = GetU32(header + 8);
    if (version != kVersion) {
        error = "recording format version " + std::to_string(version) +
                " is not supported (this program reads version " + std::to_string(kVersion) + ")";
        return false;
    }
    uint64_t offset = kFileHeaderBytes;
    bool haveState = false;
    std::vector<uint8_t> payload;
    while (offset < size) {
        const std::string where = " at byte " + std::to_string(offset);
        uint8_t head[8];
        if (size - offset < kChunkOverhead || !m_source->Read(offset, head, sizeof head)) {
            m_truncated = true;
            m_truncatedAt = offset;
            break;
        }
        const uint32_t type = GetU32(head);
        const uint32_t length = GetU32(head + 4);
        if (type != kStateChunk && type != kDataChunk && type != kSettingChunk &&
            type != kEndChunk) {
            error = "corrupt chunk" + where + ": unknown type '" + TypeName(type) + "'";
            return false;
        }
        if (length > kMaxChunkBytes) {
            error = "corrupt chunk" + where + ": length " + std::to_string(length) +
                    " exceeds the limit";
            return false;
        }
        if (size - offset - kChunkOverhead < length) {
            m_truncated = true;
            m_truncatedAt = offset;
            break;
        }
        payload.resize(length + 4);
        if (!m_source->Read(offset + 8, payload.data(), payload.size())) {
            error = "read failed" + where;
            return false;
        }
        if (Crc(head, sizeof head, payload.data(), length) != GetU32(payload.data() + length)) {
            error = "corrupt chunk '" + TypeName(type) + "'" + where + ": CRC mismatch";
            return false;
        }
        if (!haveState && type != kStateChunk) {
            error = "corrupt recording: the first chunk is not the camera's state";
            return false;
        }
        if (m_hasEnd) {
            error = "corrupt recording: chunks after the end chunk" + where;
            return false;
        }
        if (type == kStateChunk) {
            if (haveState || length > kMaxStateBytes) {
                error = "corrupt recording: a second or oversized state chunk" + where;
                return false;
            }
            if (!m_state.Decode(std::string(payload.begin(), payload.begin() + length), error)) {
                error = "corrupt state chunk: " + error;
                return false;
            }
            haveState = true;
        } else if (type == kDataChunk) {
            std::string why;
            if (length < 8 || !CheckDataFrame(payload.data() + 8, length - 8, why)) {
                error = "corrupt data chunk" + where + ": " + (length < 8 ? "too short" : why);
                return false;
            }
            m_frames.push_back({GetU64(payload.data()), offset + 16, length - 8});
        } else if (type == kSettingChunk) {
            const std::string text(payload.begin() + (length < 8 ? length : 8),
                                   payload.begin() + length);
            const size_t equals = text.find('=');
            if (length < 8 || equals == std::string::npos || !ValidKey(text.substr(0, equals)) ||
                text.find_first_of(std::string("\n\0", 2)) != std::string::npos) {
                error = "corrupt setting chunk" + where;
                return false;
            }
            m_changes.push_back(
                {GetU64(payload.data()), text.substr(0, equals), text.substr(equals + 1)});
        } else {
            if (length != 32) {
                error = "corrupt end chunk" + where;
                return false;
            }
            m_end = {GetU64(payload.data()), GetU64(payload.data() + 8),
                     GetU64(payload.data() + 16), GetU64(payload.data() + 24)};
            m_hasEnd = true;
        }
        offset += kChunkOverhead + length;
    }
    if (!haveState) {
        error = "the recording holds no whole state chunk";
        if (m_truncated) {
            error +=
                " (the file ends inside the chunk at byte " + std::to_string(m_truncatedAt) + ")";
        }
        return false;
    }
    return true;
}

bool RecordingReader::ReadFrame(size_t index, std::vector<uint8_t>& out) const {
    if (index >= m_frames.size()) {
        return false;
    }
    const Frame& f = m_frames[index];
    out.resize(f.length);
    // The file may have changed since Open: the frame is checked again.
    std::string why;
    return m_source->Read(f.offset, out.data(), out.size()) &&
           CheckDataFrame(out.data(), out.size(), why);
}

std::vector<uint8_t> EncodeChunk(uint32_t type, const uint8_t* payload, size_t length) {
    std::vector<uint8_t> out;
    out.reserve(length + kChunkOverhead);
    PutU32(out, type);
    PutU32(out, static_cast<uint32_t>(length));
    out.insert(out.end(), payload, payload + length);
    PutU32(out, Crc(out.data(), 8, payload, length));
    return out;
}

std::vector<uint8_t> EncodeFileHeader(uint32_t version) {
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    PutU32(out, version);
    PutU32(out, 0);
    return out;
}

RecordingWriter::RecordingWriter(size_t queueLimit) : m_queueLimit(queueLimit) {}

RecordingWriter::~RecordingWriter() {
    if (m_fd >= 0) {
        std::string ignored;
        Finish(ignored);
    }
}

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool RecordingWriter::Open(const std::string& path, const RecordedState& state,
                           std::string& error) {
    const std::string text = state.Encode();
    if (text.size() > kMaxStateBytes) {
        error = "the camera's state is too large to record";
        return false;
    }
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> head = EncodeFileHeader();
    const std::vector<uint8_t> chunk =
        EncodeChunk(kStateChunk, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    head.insert(head.end(), chunk.begin(), chunk.end());
    if (!WriteAll(m_fd, head.data(), head.size())) {
        error = path + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_fileBytes = head.size();
    m_thread = std::thread([this] { Run(); });
    return true;
}

uint64_t RecordingWriter::Elapsed(Clock::time_point now) {
    if (!m_started) {
        m_started = true;
        m_origin = now;
    }
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_origin).count());
}

void RecordingWriter::AddFrame(const uint8_t* header, uint32_t headerLength, const uint8_t* payload,
                               uint32_t payloadLength) {
    const Clock::time_point now = Clock::now();
    const size_t size = 8 + static_cast<size_t>(headerLength) + payloadLength;
    std::lock_guard guard(m_lock);
    if (m_stop || size > kMaxChunkBytes || m_queuedBytes + size > m_queueLimit) {
        ++m_dropped;
        return;
    }
    std::vector<uint8_t> chunk;
    chunk.reserve(size);
    const uint64_t time = Elapsed(now);
    for (int i = 0; i < 8; ++i) {
        chunk.push_back(static_cast<uint8_t>(time >> (8 * i)));
    }
    chunk.insert(chunk.end(), header, header + headerLength);
    chunk.insert(chunk.end(), payload, payload + payloadLength);
    m_queuedBytes += size;
    m_queue.emplace_back(kDataChunk, std::move(chunk));
    m_signal.notify_one();
}

void RecordingWriter::AddSetting(const std::string& name, const std::string& value) {
    const Clock::time_point now = Clock::now();
    std::lock_guard guard(m_lock);
    if (m_stop) {
        return;
    }
    std::vector<uint8_t> chunk;
    PutU64(chunk, Elapsed(now));
    const std::string text = name + "=" + value;
    chunk.insert(chunk.end(), text.begin(), text.end());
    m_queuedBytes += chunk.size();
    m_queue.emplace_back(kSettingChunk, std::move(chunk));
    m_signal.notify_one();
}

RecordingWriter::Progress RecordingWriter::Current() const {
    return {m_frames.load(), m_fileBytes.load(), m_dropped.load()};
}

bool RecordingWriter::WriteChunk(uint32_t type, const std::vector<uint8_t>& payload) {
    uint8_t head[8];
    for (int i = 0; i < 4; ++i) {
        head[i] = static_cast<uint8_t>(type >> (8 * i));
        head[4 + i] = static_cast<uint8_t>(payload.size() >> (8 * i));
    }
    uint8_t crc[4];
    const uint32_t value = Crc(head, sizeof head, payload.data(), payload.size());
    for (int i = 0; i < 4; ++i) {
        crc[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    // One chunk per write call: a crash leaves whole chunks and at most one cut one.
    if (!WriteAll(m_fd, head, sizeof head) || !WriteAll(m_fd, payload.data(), payload.size()) ||
        !WriteAll(m_fd, crc, sizeof crc)) {
        return false;
    }
    m_fileBytes += kChunkOverhead + payload.size();
    return true;
}

void RecordingWriter::Run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_signal.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;  // stopping, and everything is out
        }
        auto [type, payload] = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        const bool ok = m_error.empty() && WriteChunk(type, payload);
        const int savedErrno = errno;
        lock.lock();
        m_queuedBytes -= payload.size();
        if (!ok && m_error.empty()) {
            m_error = std::string("write failed: ") + std::strerror(savedErrno);
        }
        if (ok && type == kDataChunk) {
            ++m_frames;
            m_frameBytes += payload.size() - 8;
        }
    }
}

bool RecordingWriter::Finish(std::string& error) {
    if (m_fd < 0) {
        std::lock_guard guard(m_lock);
        m_stop = true;
        m_queue.clear();
        m_queuedBytes = 0;
        error = "the recording is not open";
        return false;
    }
    uint64_t duration = 0;
    {
        std::lock_guard guard(m_lock);
        m_stop = true;
        duration = m_started ? Elapsed(Clock::now()) : 0;
        m_signal.notify_one();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::vector<uint8_t> end;
    PutU64(end, duration);
    PutU64(end, m_frames.load());
    PutU64(end, m_frameBytes.load());
    PutU64(end, m_dropped.load());
    bool ok = m_error.empty();
    if (ok && !WriteChunk(kEndChunk, end)) {
        m_error = std::string("write failed: ") + std::strerror(errno);
        ok = false;
    }
    if (::fsync(m_fd) != 0 && ok) {
        m_error = std::string("fsync failed: ") + std::strerror(errno);
        ok = false;
    }
    ::close(m_fd);
    m_fd = -1;
    error = m_error;
    return ok;
}

}  // namespace quorix::record
