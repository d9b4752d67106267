// The UVC capture and extension-unit channel.
#include "transport/DXCtl.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/Status.h"
#include "log/Log.h"
#include "platform/UsbPlatform.h"
#include "transport/TransportLog.h"

namespace quorix {
namespace {

struct Encoding {
    uint32_t fourcc;
    uint32_t bytesPerPixel;
};

Encoding EncodingOf(uint8_t code) {
    switch (code) {
        case 1:
            return {platform::kFourCCH264, 1};
        case 2:
            return {platform::kFourCCYuyv, 2};
        default:
            return {platform::kFourCCMjpeg, 1};
    }
}

std::mutex g_registryLock;
std::vector<std::shared_ptr<DXCtl>> g_registry;

}  // namespace

uint32_t DXCtl::FourCCOf(uint8_t encoding) {
    return EncodingOf(encoding).fourcc;
}

uint32_t DXCtl::BytesPerPixelOf(uint8_t encoding) {
    return EncodingOf(encoding).bytesPerPixel;
}

std::shared_ptr<DXCtl> DXCtl::ForPath(const std::string& path) {
    std::lock_guard guard(g_registryLock);
    for (const auto& existing : g_registry) {
        if (existing->Path() == path) {  // the whole path: video1 is not video10
            return existing;
        }
    }
    g_registry.push_back(std::make_shared<DXCtl>(path));
    QLOG("%s\n", path.c_str());
    return g_registry.back();
}

DXCtl::DXCtl(std::string path) : m_path(std::move(path)) {
    m_request.width = 640;
    m_request.height = 480;
    m_request.path = m_path;
}

DXCtl::~DXCtl() {
    CloseDevice();
}

int32_t DXCtl::OpenDevice(const char* path) {
    CaptureRequest request;
    {
        std::lock_guard guard(m_stateLock);
        request = m_request;
    }
    if (path != nullptr) {
        request.path = path;
    }
    return Open(request);
}

int32_t DXCtl::Open(const CaptureRequest& request) {
    std::lock_guard guard(m_stateLock);
    if (m_connected.load() && m_device) {
        QLOG("m_bIsConnect %d\n", 1);
        return 1;
    }
    if (m_device) {
        // Left from before the camera went away: its node is dead.
        StopCapture();
        std::lock_guard command(m_commandLock);
        m_device.reset();
        m_mapped = false;
        QLOG("pCaptureGraph set NULL\n");
    }
    const std::string node = platform::UsbDeviceNode(request.path);
    int error = 0;
    std::unique_ptr<platform::VideoDevice> device = platform::OpenVideoDevice(node, error);
    if (!device) {
        if (OpenFailureIsNew(node, error)) {
            QLOG_ERROR("getDevice failed %s: %s\n", request.path.c_str(),
                       platform::NodeAccessProblem(node, error).c_str());
        }
        return kStatusNotOpened;
    }
    OpenFailureIsNew(node, 0);
    if (!device->CanCapture()) {
        QLOG_ERROR("getDevice failed %s: %s does not capture video\n", request.path.c_str(),
                   node.c_str());
        return kStatusNotOpened;
    }
    const Encoding encoding = EncodingOf(request.encoding);
    const platform::VideoFormat wanted{encoding.fourcc, request.width, request.height, 0};
    platform::VideoFormat chosen;
    uint32_t frameSize = 0;
    const int32_t set = device->SetFormat(wanted, chosen);
    if (set != 0) {
        QLOG_ERROR("format %s %ux%u refused by %s: %s\n",
                   platform::FourCCText(wanted.fourcc).c_str(), wanted.width, wanted.height,
                   node.c_str(), std::strerror(-set));
    } else if (chosen.fourcc != wanted.fourcc || chosen.width != wanted.width ||
               chosen.height != wanted.height) {
        // The driver settles silently on what it has; streaming that would feed the decoders
        // samples of another layout.
        QLOG_ERROR("format %s %ux%u is not offered by %s (the driver chose %s %ux%u): no capture\n",
                   platform::FourCCText(wanted.fourcc).c_str(), wanted.width, wanted.height,
                   node.c_str(), platform::FourCCText(chosen.fourcc).c_str(), chosen.width,
                   chosen.height);
    } else {
        frameSize = wanted.width * wanted.height * encoding.bytesPerPixel;
    }
    {
        std::lock_guard command(m_commandLock);
        m_device = std::move(device);
    }
    m_frameSize = frameSize;
    m_request = request;
    m_connected = true;
    QLOG("%s opened\n", request.path.c_str());
    return 0;
}

int32_t DXCtl::CloseDevice() {
    std::lock_guard guard(m_stateLock);
    QLOG("start \n");
    StopCapture();
    {
        std::lock_guard command(m_commandLock);
        m_device.reset();
    }
    m_mapped = false;
    m_connected = false;
    m_frameSize = 0;
    QLOG("end\n");
    return 0;
}

int32_t DXCtl::StartStream() {
    std::lock_guard guard(m_stateLock);
    if (!m_device) {
        return kStatusNotOpened;
    }
    if (m_frameSize.load() == 0 || m_run.load()) {
        return 0;  // without a format nothing streams; ReadData says so
    }
    // Buffers are mapped at the first start only: an open that only reads an alias or sends
    // commands leaves the driver's memory alone.
    if (!m_mapped) {
        if (const int32_t mapped = m_device->MapBuffers(kBuffers); mapped != 0) {
            QLOG_ERROR("capture buffers of %s: %s\n", m_path.c_str(), std::strerror(-mapped));
            return kStatusNotSupported;
        }
        m_mapped = true;
    }
    if (const int32_t result = m_device->StreamOn(); result != 0) {
        QLOG_ERROR("Could not start graph %d  ERROR: errorCoded:%d\n", result, -result);
        return kStatusNotSupported;
    }
    {
        std::lock_guard sample(m_sampleLock);
        m_holding = false;
        m_lost = false;
        m_readSequence = m_sequence;
    }
    m_run = true;
    m_streaming = true;
    m_capture = std::thread([this] { CaptureLoop(); });
    return 0;
}

int32_t DXCtl::StopStream() {
    std::lock_guard guard(m_stateLock);
    if (!m_device) {
        return kStatusNotOpened;
    }
    StopCapture();
    return 0;
}

void DXCtl::StopCapture() {
    if (!m_run.load()) {
        return;
    }
    m_run = false;
    m_capture.join();
    {
        std::lock_guard sample(m_sampleLock);
        m_holding = false;  // the driver takes every buffer back
    }
    if (const int32_t result = m_device->StreamOff(); result != 0 && result != -ENODEV) {
        QLOG_ERROR("ERROR: Could not stop graph %d  %d\n", result, -result);
    }
    m_streaming = false;
    m_sampleReady.notify_all();
}

void DXCtl::CaptureLoop() {
    uint64_t refused = 0;
    while (m_run.load()) {
        platform::VideoSample sample;
        const int32_t result = m_device->Dequeue(sample, kDequeueWait);
        if (result == 0) {
            {
                std::lock_guard guard(m_sampleLock);
                if (m_holding) {
                    m_device->Requeue(m_held.index);
                }
                m_held = sample;
                m_holding = true;
                ++m_sequence;
            }
            m_sampleReady.notify_all();
        } else if (result == -EMSGSIZE || result == -EIO) {
            if (++refused == 1 || refused % 100 == 0) {
                QLOG_WARN("%llu samples of %s refused: longer than their buffer or marked bad\n",
                          static_cast<unsigned long long>(refused), m_path.c_str());
            }
        } else if (result != -ETIMEDOUT) {
            QLOG_ERROR("capture of %s ended: %s\n", m_path.c_str(), std::strerror(-result));
            {
                std::lock_guard guard(m_sampleLock);
                m_lost = true;
            }
            m_sampleReady.notify_all();
            return;
        }
    }
}

int32_t DXCtl::ReadData(uint8_t* buffer, uint32_t& length) {
    const uint32_t capacity = length;
    length = 0;
    if (m_frameSize.load() == 0 || buffer == nullptr) {
        return kStatusNotSupported;
    }
    std::unique_lock lock(m_sampleLock);
    m_sampleReady.wait_for(lock, kReadWait, [&] { return m_sequence != m_readSequence || m_lost; });
    if (m_lost || !m_holding || m_sequence == m_readSequence) {
        return kStatusNotSupported;
    }
    m_readSequence = m_sequence;
    if (m_held.bytesUsed > capacity) {
        QLOG_WARN("pCB->frameNo:%llu bufferSize:%u does not fit %u.\n",
                  static_cast<unsigned long long>(m_sequence), m_held.bytesUsed, capacity);
        return kStatusNotSupported;
    }
    memcpy(buffer, m_held.data, m_held.bytesUsed);
    length = m_held.bytesUsed;
    return 0;
}

int32_t DXCtl::SetConnectStatus(bool connected) {
    QLOG("isConnect:%d\n", connected ? 1 : 0);
    m_connected = connected;
    return 0;
}

int32_t DXCtl::SetCmd(uint32_t cmd, uint8_t* data, int32_t replyLength, int32_t requestLength,
                      int32_t mode, uint32_t& received) {
    received = 0;
    if (!m_connected.load()) {
        QLOG("device is not open.\n");
        return kStatusNotOpened;
    }
    std::lock_guard guard(m_commandLock);
    const auto selector = static_cast<uint8_t>(cmd & 0xFF);
    requestLength = std::clamp<int32_t>(requestLength, 0, kBlockBytes);
    replyLength = data == nullptr ? 0 : std::clamp<int32_t>(replyLength, 0, kBlockBytes);
    if (mode != kSet && mode != kGet) {
        QLOG_ERROR("cmdType:%d is invalid.\n", mode);
        return kStatusTransferError;
    }
    if (!m_device) {
        QLOG_ERROR("pVideoInputFilter  is null\n");
        return kStatusTransferError;
    }
    if (data == nullptr && requestLength > 0) {
        return kStatusNullPointer;
    }
    uint8_t block[kBlockBytes] = {};
    int32_t result = 0;
    if (mode == kSet) {
        if (requestLength > 0) {
            memcpy(block, data, static_cast<size_t>(requestLength));
        }
        result = m_device->ExtensionQuery(selector, platform::kUvcSetCur, block, kBlockBytes);
    } else {
        uint8_t size[2] = {};
        result = m_device->ExtensionQuery(selector, platform::kUvcGetLen, size, sizeof size);
        const uint16_t controlSize = static_cast<uint16_t>(size[0] | size[1] << 8);
        if (result == 0 && (controlSize == 0 || controlSize > kBlockBytes)) {
            QLOG_ERROR(" %d  NG %u\n", selector, controlSize);
            return kStatusTransferError;
        }
        if (result == 0) {
            result = m_device->ExtensionQuery(selector, platform::kUvcGetCur, block, controlSize);
        }
        if (result == 0) {
            const int32_t n = std::min<int32_t>(replyLength, controlSize);
            memcpy(data, block, static_cast<size_t>(n));
            received = static_cast<uint32_t>(n);
        }
    }
    if (result != 0) {
        QLOG_ERROR("KsProperty Error hr:%d errorCode:%d (%s)\n", result, -result,
                   std::strerror(-result));
        QLOG_ERROR("%s cmdid:%d %s lenth:%d buf:%s\n", "NG", selector, mode == kGet ? "GET" : "SET",
                   requestLength, HexDump(data, static_cast<size_t>(requestLength)).c_str());
        return kStatusTransferError;
    }
    return 0;
}

}  // namespace quorix
