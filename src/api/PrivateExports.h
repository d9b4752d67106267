// Exports that are no part of the public interface: the tools that come with the library
// use them, applications never do, and the installed header does not declare them.
#pragma once

#include "quorix/quorix_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Puts USB, capture and HID platforms of the calling program (a simulated USB camera, see
 * quorix-cli demo --usb) behind the library's platform seam: `usb` a
 * quorix::platform::UsbPlatform*, `videoKernel` a quorix::platform::VideoKernel*, `hid` a
 * quorix::platform::HidPlatform*, `drives` a quorix::platform::DrivePlatform* (the
 * removable drives a camera in its transfer mode shows), each built with this library's headers and
 * compiler; nulls restore the system's. Call it before Ns2_Initialize and again (with nulls) after
 * Ns2_Shutdown, while the objects live; -1 while the library is initialised. */
QUORIX_API NsReturnStatus NsPrivate_SetUsbPlatforms(void* usb, void* videoKernel, void* hid,
                                                    void* drives);

#ifdef __cplusplus
}
#endif
