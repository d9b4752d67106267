// The arrival watcher's thread: platform events in, arrival messages out.
#include "device/DeviceDetect.h"

#include "device/EnumUsbDevice.h"
#include "platform/UsbPlatform.h"

namespace quorix {

DeviceDetect::DeviceDetect() : StoppableThread("DeviceDetect") {}

DeviceDetect::~DeviceDetect() {
    if (State() == kRunning) {
        Stop();
    }
    if (HasThread()) {
        Join();
    }
}

void DeviceDetect::OnStopRequested() {
    platform::Usb().Wake();
}

void DeviceDetect::Run() {
    using platform::UsbInterfaceClass;
    while (IsRunning()) {
        platform::UsbEvent event;
        if (!platform::Usb().WaitForEvent(event, std::chrono::milliseconds(200))) {
            continue;
        }
        // Cameras of the second vendor are found by enumeration only, but an opened one
        // must learn that it was unplugged like any other.
        const bool secondVendorRemoval = !event.arrival && event.vendorId == kVendorSecondary &&
                                         event.interfaceClass == UsbInterfaceClass::kVideo &&
                                         UsbModelLookup(event.vendorId, event.productId) != 0;
        if (event.vendorId != kVendorQuorix && !secondVendorRemoval) {
            continue;
        }
        ArrivalMessage message;
        if (event.interfaceClass == UsbInterfaceClass::kVideo) {
            message.interfaceKind = 0;
        } else if (event.productId == kProductUpgrade || event.productId == kProductJsonTransfer) {
            message.interfaceKind = 1;
        } else {
            continue;
        }
        message.event = event.arrival ? 0 : 1;
        message.vendorId = event.vendorId;
        message.productId = event.productId;
        message.path = event.path;
        if (m_notifier != nullptr) {
            m_notifier->OnMessage(message);
        }
    }
}

}  // namespace quorix
