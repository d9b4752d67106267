// Second-generation exports: the library frame (initialise, shut down, version) and the
// fixed-result functions.
#include <cstring>
#include <mutex>

#include "api/Status.h"
#include "config/Config.h"
#include "config/Log.h"
#include "quorix/quorix_api.h"

namespace quorix {
namespace {

constexpr char kSdkVersion[] = "3.4.4";

// Initialise and shut down are called from one application thread by contract; the lock
// makes a careless second thread wait instead of corrupting the state.
std::mutex g_lifecycleLock;
bool g_initialised = false;

}  // namespace
}  // namespace quorix

using namespace quorix;

extern "C" {

QUORIX_API NsReturnStatus Ns2_Initialize(void) {
    return Firewall(__func__, [] {
        std::lock_guard guard(g_lifecycleLock);
        if (g_initialised) {
            QLOG("ReInitialized,do not call Ns2_Shutdown\n");
            return NsStatusReinitialised;
        }
        Config& config = ConfigHolder::Instance();
        log::Initialize(config.logToConsole);
        QLOG("-----------------------------------------------------\n");
        QLOG("Version: %s\n", kSdkVersion);
        // Device discovery starts here once the device manager exists.
        g_initialised = true;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_Shutdown(void) {
    return Firewall(__func__, [] {
        std::lock_guard guard(g_lifecycleLock);
        if (!g_initialised) {
            QLOG("do not call Ns2_Initialize\n");
            return NsStatusNotInitialised;
        }
        // The device manager's workers are stopped and every device released here once
        // the device manager exists.
        QLOG("=====================================================\n");
        log::Shutdown();
        ConfigHolder::Destroy();
        g_initialised = false;
        return NsStatusOk;
    });
}

QUORIX_API NsReturnStatus Ns2_GetSDKVersion(char* buffer) {
    if (buffer == nullptr) {
        QLOG("buffer is NULL.\n");
        return NsStatusNullPointer;
    }
    memcpy(buffer, kSdkVersion, sizeof kSdkVersion - 1);  // no terminating NUL
    return NsStatusOk;
}

// One body for every mapping function of both generations: mapping is switched per
// session now, and these entry points only remain for existing applications.
static NsReturnStatus MappingNotSupported() { return NsStatusOther; }

QUORIX_API NsReturnStatus Ns2_MappingInitialize(void) { return MappingNotSupported(); }
QUORIX_API NsReturnStatus Ns2_MappingShutdown(void) { return MappingNotSupported(); }
QUORIX_API NsReturnStatus Ns2_SetMapping(NsDeviceHandle, uint32_t, uint8_t) {
    return MappingNotSupported();
}
QUORIX_API NsReturnStatus NsMappingInitialize(void) { return MappingNotSupported(); }
QUORIX_API NsReturnStatus NsMappingShutdown(void) { return MappingNotSupported(); }
QUORIX_API NsReturnStatus NsSetMapping(uint32_t, uint8_t) { return MappingNotSupported(); }

}  // extern "C"
