"""ctypes declarations of libquorix_api.so: the packed records, the function prototypes and
the search for the library.

Every record of the header is 1-byte packed. A record declared here without packing would
read its fields at the wrong offsets without any error, so every size is checked against
the header's at import.
"""

from __future__ import annotations

import ctypes
import os
import threading
from ctypes import (
    CFUNCTYPE,
    POINTER,
    c_char,
    c_char_p,
    c_double,
    c_float,
    c_int32,
    c_uint8,
    c_uint16,
    c_uint32,
    c_uint64,
    c_void_p,
)
from typing import Dict, List, Optional, Tuple

from . import _layout
from .errors import LibraryNotFound

LIBRARY_NAME = "libquorix_api.so.3"


class _Packed(ctypes.Structure):
    # _layout_ keeps Python 3.14+ from warning that packing means the MSVC layout; for these
    # records (no bit fields) it is the layout of GCC's #pragma pack(1) as well.
    _pack_ = 1
    _layout_ = "ms"


class NsDeviceInfo(_Packed):
    _fields_ = [
        ("SessionCount", c_uint32),
        ("devicetype", c_uint32),
        ("uri", c_char * 256),
        ("reserved", c_uint8 * 50),
        ("alias", c_char * 64),
        ("status", c_uint32),
    ]


class NsFrame(_Packed):
    _fields_ = [
        ("frameIndex", c_uint32),
        ("frameType", c_uint32),
        ("pixelFormat", c_uint32),
        ("frameTag", c_uint8),
        ("pFrameData", c_void_p),
        ("dataLen", c_uint32),
        ("exposureTime", c_float),
        ("depthRange", c_uint32),
        ("width", c_uint16),
        ("height", c_uint16),
        ("timestamp", c_uint64),
    ]


class NsTimeOfDay(_Packed):
    _fields_ = [
        ("hour", c_uint16),
        ("minute", c_uint16),
        ("second", c_uint16),
        ("millisecond", c_uint16),
    ]


class NsStreamHealth(_Packed):
    _fields_ = [
        ("framingLosses", c_uint32),
        ("reconnections", c_uint32),
    ]


class NsDataTap(_Packed):
    # A recorder's tap (NS_PROPERTY_DATA_TAP); the callback runs on a library thread.
    _fields_ = [
        ("callback", ctypes.c_void_p),
        ("context", ctypes.c_void_p),
    ]


class NsDiscoveryState(_Packed):
    _fields_ = [
        ("status", c_uint32),
        ("systemError", c_int32),
        ("port", c_uint16),
        ("reserved", c_uint16),
        ("message", c_char * 160),
    ]


class NsFrameMode(_Packed):
    _fields_ = [
        ("pixelFormat", c_uint32),
        ("resolutionWidth", c_uint32),
        ("resolutionHeight", c_uint32),
        ("fps", c_uint32),
    ]


class NsMeasuringRange(_Packed):
    _fields_ = [
        ("depthMode", c_uint8),
        ("depthMaxNear", c_uint16),
        ("depthMaxMid", c_uint16),
        ("depthMaxFar", c_uint16),
        ("effectDepthMaxNear", c_uint16),
        ("effectDepthMaxMid", c_uint16),
        ("effectDepthMaxFar", c_uint16),
        ("effectDepthMinNear", c_uint16),
        ("effectDepthMinMid", c_uint16),
        ("effectDepthMinFar", c_uint16),
    ]


class NsCameraParameters(_Packed):
    _fields_ = [
        ("fx", c_double),
        ("fy", c_double),
        ("cx", c_double),
        ("cy", c_double),
        ("distortion", c_double * 8),
    ]


class NsCameraExtrinsicParameters(_Packed):
    _fields_ = [("rotation", c_double * 9), ("translation", c_double * 3)]


class NsDepthVector3(_Packed):
    _fields_ = [("depthX", c_int32), ("depthY", c_int32), ("depthZ", c_uint16)]


class NsVector3f(_Packed):
    _fields_ = [("x", c_float), ("y", c_float), ("z", c_float)]


class NsGMMGain(_Packed):
    _fields_ = [("gain", c_uint16), ("option", c_uint8)]


class NsRgbExposure(_Packed):
    _fields_ = [("exposureTime", c_float), ("gain", c_float)]


class NsFrameSlot(_Packed):
    _fields_ = [("frame", NsFrame), ("present", c_uint8)]


class NsFrameSet(_Packed):
    _fields_ = [
        ("colour", NsFrameSlot),
        ("depth", NsFrameSlot),
        ("ir", NsFrameSlot),
        ("mappedColour", NsFrameSlot),
        ("mappedDepth", NsFrameSlot),
        ("mappedIr", NsFrameSlot),
    ]


class NsWDROutputMode(_Packed):
    _fields_ = [
        ("totalRange", c_uint32),
        ("range1", c_uint32),
        ("range1Count", c_uint8),
        ("range2", c_uint32),
        ("range2Count", c_uint8),
        ("range3", c_uint32),
        ("range3Count", c_uint8),
    ]


class NsColorPoint(_Packed):
    _fields_ = [("colorX", c_uint16), ("colorY", c_uint16)]


class NsColorResolution(_Packed):
    _fields_ = [("width", c_uint16), ("height", c_uint16)]


# The sizes the header asserts at compile time.
RECORD_SIZES = {
    NsFrameSlot: 46,
    NsFrameSet: 276,
    NsDeviceInfo: 382,
    NsFrame: 45,
    NsFrameMode: 16,
    NsTimeOfDay: 8,
    NsStreamHealth: 8,
    NsDiscoveryState: 172,
    NsMeasuringRange: 19,
    NsCameraParameters: 96,
    NsCameraExtrinsicParameters: 96,
    NsDepthVector3: 10,
    NsVector3f: 12,
    NsGMMGain: 3,
    NsRgbExposure: 8,
    NsWDROutputMode: 19,
    NsColorPoint: 4,
    NsColorResolution: 4,
}


def _check_layout() -> None:
    if ctypes.sizeof(c_void_p) != 8:
        raise ImportError("quorix needs a 64-bit Python: libquorix_api.so has 64-bit pointers")
    wrong = [
        f"{record.__name__} is {ctypes.sizeof(record)} bytes, the header says {size}"
        for record, size in RECORD_SIZES.items()
        if ctypes.sizeof(record) != size
    ]
    if wrong:
        raise ImportError("quorix records do not match quorix_api.h: " + "; ".join(wrong))


_check_layout()

# Callback types of the header.
HotPlugCallback = CFUNCTYPE(None, POINTER(NsDeviceInfo), c_int32)
FrameCallback = CFUNCTYPE(None, POINTER(NsFrameSet))

_H = c_void_p  # NsDeviceHandle
_S = c_uint32  # session index
_STATUS = c_int32

# Prototypes of every function the package calls: name -> argument types (all return an
# NsReturnStatus unless listed in _RESULTS).
_PROTOTYPES: Dict[str, Tuple[type, ...]] = {
    "Ns2_GetStatusName": (c_int32,),
    "Ns2_GetStatusText": (c_int32,),
    "Ns2_Initialize": (),
    "Ns2_Shutdown": (),
    "Ns2_GetSDKVersion": (c_char_p,),
    "Ns2_GetDiscoveryState": (POINTER(NsDiscoveryState),),
    "Ns2_GetDeviceCount": (POINTER(c_uint32),),
    "Ns2_GetDeviceListInfo": (POINTER(NsDeviceInfo), c_uint32),
    "Ns2_SetHotPlugStatusCallback": (HotPlugCallback,),
    "Ns2_OpenDevice": (c_char_p, POINTER(c_void_p)),
    "Ns2_OpenDeviceByAlias": (c_char_p, POINTER(c_void_p)),
    "Ns2_CloseDevice": (POINTER(c_void_p),),
    "Ns2_StartStream": (_H, _S),
    "Ns2_StopStream": (_H, _S),
    "Ns2_ReadNextFrame": (_H, _S, POINTER(c_uint32)),
    "Ns2_GetFrame": (_H, _S, c_uint32, POINTER(NsFrame)),
    "Ns2_GetFrameMode": (_H, _S, c_uint32, POINTER(NsFrameMode)),
    "Ns2_SetWaitTimeOfReadNextFrame": (_H, _S, c_uint16),
    "Ns2_RegisterNotify": (_H, _S, FrameCallback),
    "Ns2_UnRegisterNotify": (_H, _S),
    "Ns2_SetDepthFrameEnabled": (_H, _S, c_uint8),
    "Ns2_SetIrFrameEnabled": (_H, _S, c_uint8),
    "Ns2_SetRgbFrameEnabled": (_H, _S, c_uint8),
    "Ns2_SetColorPixelFormat": (_H, _S, c_int32),
    "Ns2_SetIRPixelFormat": (_H, _S, c_int32),
    "Ns2_ConvertDepthFrameToWorldVector": (_H, _S, POINTER(NsFrame), POINTER(NsVector3f)),
    "Ns2_GetCameraParameters": (_H, _S, c_int32, POINTER(NsCameraParameters)),
    "Ns2_GetCameraExtrinsicParameters": (_H, _S, POINTER(NsCameraExtrinsicParameters)),
    "Ns2_GetMeasuringRange": (_H, _S, c_int32, POINTER(NsMeasuringRange)),
    "Ns2_GetSerialNumber": (_H, _S, c_char_p, c_uint32),
    "Ns2_GetFirmwareVersionNumber": (_H, _S, c_char_p, c_uint32),
    "Ns2_GetProperty": (_H, _S, c_uint32, c_void_p, POINTER(c_uint32)),
    "Ns2_SetProperty": (_H, _S, c_uint32, c_void_p, c_uint32),
}
_RESULTS = {"Ns2_GetStatusName": c_char_p, "Ns2_GetStatusText": c_char_p}

# Settings: name -> (setter's value type, getter's value type); the functions are
# Ns2_Set<name> and Ns2_Get<name>.
SETTINGS: Dict[str, Tuple[type, type]] = {
    "DepthRange": (c_uint32, c_uint32),
    "DataMode": (c_uint8, c_uint8),
    "Threshold": (c_uint16, c_uint16),
    "PulseCount": (c_uint16, c_uint16),
    "TofFrameRate": (c_uint8, c_uint8),
    "RGBResolution": (c_uint32, c_uint16),
    "SynchronizeEnabled": (c_uint8, c_uint8),
    "ComputeRealDepthCorrectionEnabled": (c_uint8, c_uint8),
    "SmoothingFilterEnabled": (c_uint8, c_uint8),
    "DepthDistortionCorrectionEnabled": (c_uint8, c_uint8),
    "IrDistortionCorrectionEnabled": (c_uint8, c_uint8),
    "RGBDistortionCorrectionEnabled": (c_uint8, c_uint8),
    "RGBCorrectionEnabled": (c_uint8, c_uint8),
    "MapperEnabledDepthToRGB": (c_uint8, c_uint8),
    "MapperEnabledRGBToDepth": (c_uint8, c_uint8),
    "MapperEnabledRGBToIR": (c_uint8, c_uint8),
    "TimeFilterEnabled": (c_uint8, c_uint8),
    "SpatialFilterEnabled": (c_uint8, c_uint8),
}
for _name, (_set_type, _get_type) in SETTINGS.items():
    _PROTOTYPES[f"Ns2_Set{_name}"] = (_H, _S, _set_type)
    _PROTOTYPES[f"Ns2_Get{_name}"] = (_H, _S, POINTER(_get_type))


class Api:
    """The loaded library with a prototype on every function the package uses; only those
    are reachable, so a call without a prototype cannot slip in."""

    def __init__(self, cdll: ctypes.CDLL, path: str):
        self.path = path
        for name, argtypes in _PROTOTYPES.items():
            function = getattr(cdll, name)
            function.argtypes = list(argtypes)
            function.restype = _RESULTS.get(name, _STATUS)
            setattr(self, name, function)


_api: Optional[Api] = None
_api_lock = threading.Lock()


def library_candidates() -> List[Tuple[str, str]]:
    """Where the library is looked for, in order: (how it was chosen, what is loaded).
    QUORIX_LIBRARY, when set, is the only candidate: a wrong path there is a mistake to
    report, not to paper over with another copy of the library."""
    explicit = os.environ.get("QUORIX_LIBRARY")
    if explicit:
        return [("QUORIX_LIBRARY", explicit)]
    candidates = []
    if _layout.LIBRARY_DIR is not None:
        package_dir = os.path.dirname(os.path.abspath(__file__))
        folder = os.path.normpath(os.path.join(package_dir, _layout.LIBRARY_DIR))
        candidates.append(("installed beside this package", os.path.join(folder, LIBRARY_NAME)))
    candidates.append(("system loader", LIBRARY_NAME))
    return candidates


def api() -> Api:
    """The library, loaded on first use."""
    global _api
    with _api_lock:
        if _api is None:
            failures = []
            for how, target in library_candidates():
                try:
                    _api = Api(ctypes.CDLL(target), target)
                    break
                except OSError as error:
                    failures.append(f"  {how}: {target}: {error}")
            else:
                raise LibraryNotFound(
                    f"cannot load {LIBRARY_NAME}; tried:\n"
                    + "\n".join(failures)
                    + "\nSet QUORIX_LIBRARY to the library's path (for example "
                    "build/src/libquorix_api.so.3), or install the SDK with cmake --install "
                    "and use the quorix package installed with it."
                )
        return _api


def loaded() -> bool:
    return _api is not None


def text(field: bytes) -> str:
    """A NUL-terminated char field as text."""
    return field.decode("utf-8", errors="replace")

