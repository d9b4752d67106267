// Lifetime of the process-wide configuration object.
#include "config/Config.h"

#include <memory>
#include <mutex>

namespace quorix {
namespace {

std::mutex& HolderLock() {
    static std::mutex lock;
    return lock;
}

std::unique_ptr<Config>& Holder() {
    static std::unique_ptr<Config> config;
    return config;
}

}  // namespace

Config& ConfigHolder::Instance() {
    std::lock_guard guard(HolderLock());
    if (!Holder()) {
        Holder() = std::make_unique<Config>();
    }
    return *Holder();
}

bool ConfigHolder::Exists() {
    std::lock_guard guard(HolderLock());
    return Holder() != nullptr;
}

void ConfigHolder::Destroy() {
    std::lock_guard guard(HolderLock());
    Holder().reset();
}

}  // namespace quorix
