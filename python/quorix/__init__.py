"""Quorix time-of-flight depth cameras from Python: a pure-Python package over the C
interface of libquorix_api.so (ctypes), with frames as numpy arrays.

::

    import quorix

    with quorix.Library() as lib:
        camera = lib.wait_for("TK5P:QX1", timeout=10)      # URI or alias
        with lib.open(camera) as device, device[0].stream() as session:
            frames = session.read(timeout_ms=1000)
            depth = frames.depth.data                         # uint16 (H, W), millimetres
            points = session.point_cloud(frames.depth)        # (N, 3) float32, mm

The library is found through ``QUORIX_LIBRARY`` (a path) if set, else beside an installed
package (``<prefix>/lib``), else by the system loader (``libquorix_api.so.3``). It is loaded
at the first call that needs it.

Errors: every refused call raises :class:`QuorixError` (``status``, ``name``, ``text``) or
its subclass for the status, such as :class:`FrameTimeout` or :class:`DeviceGone`.
Callbacks (hot-plug, frames) run on library threads; exceptions in them are logged to the
``"quorix"`` logger and do not stop the library.
"""

from .constants import (
    DEPTH_BEYOND_RANGE,
    DEPTH_INVALID,
    ConnectStatus,
    DeviceType,
    DiscoveryStatus,
    FrameReady,
    FrameType,
    HotPlugEvent,
    PixelFormat,
    Property,
    RGBResolution,
    SensorType,
    Status,
)
from .device import (
    CameraParameters,
    Device,
    Extrinsics,
    FrameMode,
    MeasuringRange,
    Session,
)
from .errors import (
    AlreadyOpened,
    BadDepthRange,
    BadParameter,
    CameraNotFound,
    DeviceGone,
    FrameTimeout,
    LibraryNotFound,
    NotConfirmed,
    NotStreaming,
    NotSupported,
    OpenFailed,
    QuorixError,
    check,
    status_name,
    status_text,
)
from .frames import Frame, FrameSet, TimeOfDay, decode_timestamp, elapsed_ms, valid_depth
from .library import DeviceInfo, DiscoveryState, Library, sdk_version

# The version of the SDK this package was written for; sdk_version() is the loaded
# library's.
__version__ = "3.4.4"

__all__ = [
    "AlreadyOpened",
    "BadDepthRange",
    "BadParameter",
    "CameraNotFound",
    "CameraParameters",
    "ConnectStatus",
    "DEPTH_BEYOND_RANGE",
    "DEPTH_INVALID",
    "Device",
    "DeviceGone",
    "DeviceInfo",
    "DeviceType",
    "DiscoveryState",
    "DiscoveryStatus",
    "Extrinsics",
    "Frame",
    "FrameMode",
    "FrameReady",
    "FrameSet",
    "FrameTimeout",
    "FrameType",
    "HotPlugEvent",
    "Library",
    "LibraryNotFound",
    "MeasuringRange",
    "NotConfirmed",
    "NotStreaming",
    "NotSupported",
    "OpenFailed",
    "PixelFormat",
    "Property",
    "QuorixError",
    "RGBResolution",
    "SensorType",
    "Session",
    "Status",
    "TimeOfDay",
    "check",
    "decode_timestamp",
    "elapsed_ms",
    "sdk_version",
    "status_name",
    "status_text",
    "valid_depth",
]
