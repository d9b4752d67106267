"""Opened cameras and their sessions (sensors): streaming, frames, point clouds, frame
callbacks, settings and calibration.

A camera is opened with :meth:`quorix.Library.open`; ``device[i]`` (or
``device.session(i)``) is its sensor i, where streams and settings live::

    with lib.open("TK5P:QX1") as device:
        session = device[0]
        session.frame_rate = 15
        with session.stream():
            for frames in session.frames(count=10):
                print(frames.depth.data[240, 320], "mm")

After ``device.close()`` (or the end of its ``with`` block, or of the Library) every call
on the device or its sessions raises :class:`quorix.DeviceGone`.
"""

from __future__ import annotations

import contextlib
import ctypes
import functools
import logging
import numbers
import threading
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable, Dict, Iterator, List, Optional, Tuple, Union

import numpy as np

from . import _native
from .constants import (
    READY_TYPES,
    FrameType,
    PixelFormat,
    Property,
    RGBResolution,
    SensorType,
    Status,
    enum_or_int,
)
from .errors import BadParameter, DeviceGone, check
from .frames import Frame, FrameSet, frame_set_of_callback, valid_depth

if TYPE_CHECKING:
    from .library import DeviceInfo

log = logging.getLogger("quorix")

# Frame callbacks let go where their last call may not have returned yet (unregistered from
# inside a callback, replaced while the thread runs, or of a closed device): freeing one
# could pull the code from under the library's callback thread. They are small.
_retired_callbacks: List[object] = []
_inside_callback = threading.local()

_LIMITS = {
    ctypes.c_uint8: (0, 0xFF),
    ctypes.c_uint16: (0, 0xFFFF),
    ctypes.c_uint32: (0, 0xFFFFFFFF),
    ctypes.c_int32: (-(1 << 31), (1 << 31) - 1),
}


def _fit(value: int, ctype: type, what: str) -> int:
    """`value` as an argument of C type `ctype`; ctypes would silently cut off the high bits
    of a value that does not fit."""
    if not isinstance(value, numbers.Integral):
        raise TypeError(f"{what}: an integer is needed, not {type(value).__name__}")
    low, high = _LIMITS[ctype]
    if not low <= value <= high:
        raise BadParameter(Status.BAD_PARAMETER, what, f"{value} is outside {low}..{high}")
    return int(value)


@dataclass(frozen=True)
class FrameMode:
    """Size, rate and pixel format of one kind of frame (Ns2_GetFrameMode)."""

    width: int
    height: int
    fps: int
    pixel_format: Union[PixelFormat, int]


@dataclass(frozen=True)
class CameraParameters:
    """Intrinsics of a sensor: focal lengths and principal point in pixels, and eight
    distortion coefficients."""

    fx: float
    fy: float
    cx: float
    cy: float
    distortion: np.ndarray  # (8,) float64

    @property
    def matrix(self) -> np.ndarray:
        """The 3 x 3 camera matrix."""
        return np.array([[self.fx, 0.0, self.cx], [0.0, self.fy, self.cy], [0.0, 0.0, 1.0]])


@dataclass(frozen=True)
class Extrinsics:
    """Extrinsics between the depth and colour sensors: rotation (3 x 3) and translation
    (3,) (Ns2_GetCameraExtrinsicParameters)."""

    rotation: np.ndarray
    translation: np.ndarray


@dataclass(frozen=True)
class MeasuringRange:
    """Depth limits (mm) of a depth range's group, near/mid/far slots."""

    depth_mode: int
    depth_max: tuple  # (near, mid, far)
    effect_depth_max: tuple
    effect_depth_min: tuple


class _Setting:
    """A session property over Ns2_Get<c_name> / Ns2_Set<c_name>; `kind` converts what is
    read. A refused value raises with the library's status."""

    def __init__(self, c_name: str, doc: str, kind: Optional[Callable] = None):
        self.c_name = c_name
        self.__doc__ = doc
        self.kind = kind
        self.set_type, self.get_type = _native.SETTINGS[c_name]
        self.name = c_name

    def __set_name__(self, owner: type, name: str) -> None:
        self.name = name

    def __get__(self, session: Optional["Session"], owner: Optional[type] = None):
        if session is None:
            return self
        value = self.get_type()
        session._call(f"Ns2_Get{self.c_name}", ctypes.byref(value), context=f"reading {self.name}")
        return self.kind(value.value) if self.kind else value.value

    def __set__(self, session: "Session", value) -> None:
        what = f"{self.name} = {value!r}"
        session._call(f"Ns2_Set{self.c_name}", _fit(value, self.set_type, what), context=what)


class Session:
    """One sensor of an opened camera: its stream, frames and settings."""

    def __init__(self, device: "Device", index: int):
        self.device = device
        self.index = index
        self._wait_ms: Optional[int] = None
        self._frame_listener: Optional[Callable[[FrameSet], None]] = None
        self._frame_thunk = None
        self.streaming = False  # as far as this object knows

    def __repr__(self) -> str:
        return f"<Session {self.index} of {self.device.name}>"

    def _call(self, function: str, *args, context: str = "") -> None:
        status = getattr(_native.api(), function)(self.device.handle, self.index, *args)
        check(status, context or f"{function} on {self.device.name} session {self.index}")

    # --- streaming ---------------------------------------------------------------------

    def start(self) -> None:
        """Starts the stream (the first start after open reads the camera's calibration)."""
        self._call("Ns2_StartStream")
        self.streaming = True

    def stop(self) -> None:
        self._call("Ns2_StopStream")
        self.streaming = False

    @contextlib.contextmanager
    def stream(self) -> Iterator["Session"]:
        """Streams for the ``with`` block. The stream of a device closed inside the block
        is gone with it; that is no error at the end."""
        self.start()
        try:
            yield self
        finally:
            if not self.device.closed:
                self.stop()

    def read(self, timeout_ms: Optional[int] = None, copy: bool = True) -> FrameSet:
        """Waits for the next frames and returns them (Ns2_ReadNextFrame, Ns2_GetFrame).

        `timeout_ms` (0..65535) is how long to wait; None keeps the session's wait time
        (350 ms unless changed). Raises FrameTimeout when nothing comes in time,
        NotStreaming before start(), and QuorixError -1 while a frame callback is set.

        copy=False gives frames whose arrays are read-only views of the library's buffers:
        no copying, but VALID ONLY UNTIL THE NEXT READ of this session. Keep nothing of
        them past it without ``.copy()``.
        """
        if timeout_ms is not None and timeout_ms != self._wait_ms:
            wait = _fit(timeout_ms, ctypes.c_uint16, "timeout_ms")
            self._call("Ns2_SetWaitTimeOfReadNextFrame", wait)
            self._wait_ms = wait
        ready = ctypes.c_uint32(0)
        self._call("Ns2_ReadNextFrame", ctypes.byref(ready))
        frames: Dict[FrameType, Frame] = {}
        for bit, frame_type in READY_TYPES:
            if ready.value & bit:
                record = _native.NsFrame()
                self._call("Ns2_GetFrame", int(frame_type), ctypes.byref(record))
                frames[frame_type] = Frame(record, copy=copy)
        return FrameSet(frames)

    def frames(
        self, count: Optional[int] = None, timeout_ms: Optional[int] = None, copy: bool = True
    ) -> Iterator[FrameSet]:
        """Yields `count` frame sets (endlessly for None), each from :meth:`read`; a read
        that times out raises FrameTimeout out of the loop. With copy=False each set is
        valid only until the loop takes the next one."""
        taken = 0
        while count is None or taken < count:
            yield self.read(timeout_ms=timeout_ms, copy=copy)
            taken += 1

    def frame_mode(self, frame_type: FrameType) -> FrameMode:
        """Width, height, fps and pixel format of DEPTH, IR or COLOUR frames."""
        mode = _native.NsFrameMode()
        self._call("Ns2_GetFrameMode", int(frame_type), ctypes.byref(mode))
        return FrameMode(
            width=mode.resolutionWidth,
            height=mode.resolutionHeight,
            fps=mode.fps,
            pixel_format=enum_or_int(PixelFormat, mode.pixelFormat),
        )

    def enable_frames(
        self, depth: Optional[bool] = None, ir: Optional[bool] = None, colour: Optional[bool] = None
    ) -> None:
        """Switches the delivery of depth, IR and colour frames (None leaves one as it is)."""
        for function, enable in (
            ("Ns2_SetDepthFrameEnabled", depth),
            ("Ns2_SetIrFrameEnabled", ir),
            ("Ns2_SetRgbFrameEnabled", colour),
        ):
            if enable is not None:
                self._call(function, 1 if enable else 0)

    def set_colour_format(self, pixel_format: PixelFormat) -> None:
        """Colour frames as RGB24 or BGR24."""
        what = f"set_colour_format({pixel_format!r})"
        self._call("Ns2_SetColorPixelFormat", _fit(pixel_format, ctypes.c_int32, what), context=what)

    def set_ir_format(self, pixel_format: PixelFormat) -> None:
        """IR frames as GREY16 (the default) or GREY8."""
        what = f"set_ir_format({pixel_format!r})"
        self._call("Ns2_SetIRPixelFormat", _fit(pixel_format, ctypes.c_int32, what), context=what)

    # --- point clouds ------------------------------------------------------------------

    def point_cloud(self, depth: Union[Frame, FrameSet], keep_invalid: bool = False) -> np.ndarray:
        """The depth frame's points in millimetres, camera coordinates, as an (N, 3) float32
        array (Ns2_ConvertDepthFrameToWorldVector, through the session's calibration; the
        stream must have been started once).

        Pixels without depth (0, 65535) are left out, unless `keep_invalid`: then there is
        one point per pixel in pixel order, (0, 0, 0) for those, and
        ``points.reshape(height, width, 3)`` gives the grid.
        """
        frame = depth.depth if isinstance(depth, FrameSet) else depth
        if frame is None:
            raise ValueError("the frame set holds no depth frame")
        if frame.pixel_format != PixelFormat.DEPTH16:
            raise ValueError(f"{frame!r} is not a depth frame")
        record = frame.record()
        points = np.empty((frame.width * frame.height, 3), dtype=np.float32)
        self._call(
            "Ns2_ConvertDepthFrameToWorldVector",
            ctypes.byref(record),
            points.ctypes.data_as(ctypes.POINTER(_native.NsVector3f)),
        )
        if keep_invalid:
            return points
        return points[valid_depth(frame.data).reshape(-1)]

    # --- frame callbacks ---------------------------------------------------------------

    def on_frames(self, listener: Optional[Callable[[FrameSet], None]]) -> None:
        """Delivers every capture to ``listener(frame_set)`` on the session's callback
        thread instead of :meth:`read` (Ns2_RegisterNotify); None stops that
        (Ns2_UnRegisterNotify). The frames are copies, free to keep. An exception in the
        listener is logged (logger "quorix") and the stream goes on. The listener may call
        stop() or device.close()."""
        if listener is None:
            self._unregister_frames()
            return
        old_thunk, old_listener = self._frame_thunk, self._frame_listener
        thunk = _native.FrameCallback(self._dispatch_frames)
        self._frame_listener = listener  # before the first call can come
        try:
            self._call("Ns2_RegisterNotify", thunk)
        except Exception:
            self._frame_listener = old_listener
            raise
        self._frame_thunk = thunk
        if old_thunk is not None:
            _retired_callbacks.append(old_thunk)

    def _unregister_frames(self) -> None:
        if self._frame_thunk is None:
            return
        self._call("Ns2_UnRegisterNotify")
        # Unregistering from another thread joins the callback thread, so the thunk is
        # free to go; from inside the callback it is still running.
        self._retire(keep=getattr(_inside_callback, "active", False))

    def _retire(self, keep: bool) -> None:
        if keep and self._frame_thunk is not None:
            _retired_callbacks.append(self._frame_thunk)
        self._frame_thunk = None
        self._frame_listener = None

    def _dispatch_frames(self, record) -> None:
        _inside_callback.active = True
        try:
            listener = self._frame_listener
            if listener is not None:
                listener(frame_set_of_callback(record.contents))
        except Exception:
            log.exception("frame listener of %r raised; the stream goes on", self)
        finally:
            _inside_callback.active = False

    # --- settings ----------------------------------------------------------------------

    depth_range = _Setting("DepthRange", "Depth range 0..8 (confirmed by the camera).")
    data_mode = _Setting("DataMode", "Data mode (confirmed); one the camera offers.")
    threshold = _Setting("Threshold", "Background threshold (confirmed).")
    pulse_count = _Setting("PulseCount", "Pulse count of the current depth range (confirmed).")
    frame_rate = _Setting("TofFrameRate", "ToF frames per second, 1..60.")
    rgb_resolution = _Setting(
        "RGBResolution", "Colour resolution (an RGBResolution).", functools.partial(enum_or_int, RGBResolution)
    )
    synchronize = _Setting("SynchronizeEnabled", "Deliver depth, IR and colour together.", bool)
    compute_real_depth_correction = _Setting(
        "ComputeRealDepthCorrectionEnabled", "Real-depth correction.", bool
    )
    smoothing_filter = _Setting("SmoothingFilterEnabled", "Smoothing filter.", bool)
    depth_distortion_correction = _Setting(
        "DepthDistortionCorrectionEnabled", "Depth distortion correction.", bool
    )
    ir_distortion_correction = _Setting(
        "IrDistortionCorrectionEnabled", "IR distortion correction.", bool
    )
    rgb_distortion_correction = _Setting(
        "RGBDistortionCorrectionEnabled", "Colour distortion correction.", bool
    )
    rgb_correction = _Setting("RGBCorrectionEnabled", "Colour correction.", bool)
    mapper_depth_to_rgb = _Setting(
        "MapperEnabledDepthToRGB", "Deliver colour in depth geometry (MAPPED_COLOUR).", bool
    )
    mapper_rgb_to_depth = _Setting(
        "MapperEnabledRGBToDepth", "Deliver depth in colour geometry (MAPPED_DEPTH).", bool
    )
    mapper_rgb_to_ir = _Setting(
        "MapperEnabledRGBToIR", "Deliver IR in colour geometry (MAPPED_IR).", bool
    )
    time_filter = _Setting("TimeFilterEnabled", "Temporal filter.", bool)
    spatial_filter = _Setting("SpatialFilterEnabled", "Spatial filter.", bool)

    # --- calibration and identity ------------------------------------------------------

    def camera_parameters(self, sensor: SensorType = SensorType.DEPTH) -> CameraParameters:
        """Intrinsics of the depth or colour sensor (colour scaled to its resolution)."""
        record = _native.NsCameraParameters()
        self._call("Ns2_GetCameraParameters", int(sensor), ctypes.byref(record))
        return CameraParameters(
            record.fx, record.fy, record.cx, record.cy, np.array(record.distortion[:])
        )

    def extrinsics(self) -> Extrinsics:
        record = _native.NsCameraExtrinsicParameters()
        self._call("Ns2_GetCameraExtrinsicParameters", ctypes.byref(record))
        return Extrinsics(
            np.array(record.rotation[:]).reshape(3, 3), np.array(record.translation[:])
        )

    def measuring_range(self, depth_range: int) -> MeasuringRange:
        """Depth limits of the group of `depth_range` (0-2, 3-5, 6-8)."""
        record = _native.NsMeasuringRange()
        what = f"measuring_range({depth_range!r})"
        self._call(
            "Ns2_GetMeasuringRange",
            _fit(depth_range, ctypes.c_int32, what),
            ctypes.byref(record),
            context=what,
        )
        r = record
        return MeasuringRange(
            r.depthMode,
            (r.depthMaxNear, r.depthMaxMid, r.depthMaxFar),
            (r.effectDepthMaxNear, r.effectDepthMaxMid, r.effectDepthMaxFar),
            (r.effectDepthMinNear, r.effectDepthMinMid, r.effectDepthMinFar),
        )

    def serial_number(self) -> str:
        return self._text("Ns2_GetSerialNumber")

    def firmware_version(self) -> str:
        return self._text("Ns2_GetFirmwareVersionNumber")

    def _text(self, function: str) -> str:
        buffer = ctypes.create_string_buffer(256)
        self._call(function, buffer, len(buffer))
        return _native.text(buffer.value)

    def stream_health(self) -> Tuple[int, int]:
        """(framing losses, reconnections) of a network camera's data stream: bytes that
        were no frame, dropped with the data connection, which was then made again."""
        record = _native.NsStreamHealth.from_buffer_copy(
            self.get_property(Property.STREAM_HEALTH, ctypes.sizeof(_native.NsStreamHealth))
        )
        return record.framingLosses, record.reconnections

    def get_property(self, property_id: Union[Property, int], size: int = 256) -> bytes:
        """Reads a property into at most `size` bytes; returns the bytes delivered. The
        header lists each id's size (a fixed-size property refuses a smaller one)."""
        buffer = ctypes.create_string_buffer(size)
        length = ctypes.c_uint32(size)
        what = f"get_property({property_id!r})"
        self._call(
            "Ns2_GetProperty",
            _fit(property_id, ctypes.c_uint32, what),
            buffer,
            ctypes.byref(length),
            context=what,
        )
        return buffer.raw[: min(length.value, size)]

    def set_property(self, property_id: Union[Property, int], data: bytes) -> None:
        what = f"set_property({property_id!r})"
        buffer = ctypes.create_string_buffer(bytes(data), len(data))
        self._call(
            "Ns2_SetProperty",
            _fit(property_id, ctypes.c_uint32, what),
            buffer,
            len(data),
            context=what,
        )


class Device:
    """An opened camera. ``device[i]`` is its session i; close it with ``close()`` or a
    ``with`` block."""

    def __init__(self, handle: ctypes.c_void_p, name: str, info: Optional["DeviceInfo"]):
        self._handle = handle
        self._lock = threading.Lock()
        self.name = name
        self.info = info
        self._sessions: Dict[int, Session] = {}

    @property
    def closed(self) -> bool:
        return self._handle is None

    @property
    def handle(self) -> int:
        """The NsDeviceHandle; raises DeviceGone once closed."""
        handle = self._handle
        if handle is None:
            raise DeviceGone(Status.BAD_HANDLE, self.name, "the device was closed")
        return handle.value

    @property
    def session_count(self) -> Optional[int]:
        """Sensors of the camera, as the device list gave them (None if not listed)."""
        return self.info.session_count if self.info is not None else None

    def session(self, index: int = 0) -> Session:
        count = self.session_count
        if index < 0 or (count is not None and index >= count):
            raise IndexError(f"{self.name} has {count} session(s), no session {index}")
        with self._lock:
            if index not in self._sessions:
                self._sessions[index] = Session(self, index)
            return self._sessions[index]

    __getitem__ = session

    def close(self) -> None:
        """Closes the camera (Ns2_CloseDevice): streams and frame callbacks end. Later calls
        raise DeviceGone; closing again does nothing."""
        with self._lock:
            handle, self._handle = self._handle, None
        if handle is None:
            return
        status = _native.api().Ns2_CloseDevice(ctypes.byref(handle))
        for session in self._sessions.values():
            session.streaming = False
            # The device may outlive the close while another thread's call is inside it,
            # and its callback thread with it.
            session._retire(keep=True)
        # -3: the library already let it go (it was shut down); the handle is dead either way.
        if status != Status.BAD_HANDLE:
            check(status, f"closing {self.name}")

    def __enter__(self) -> "Device":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<Device {self.name}{' closed' if self.closed else ''}>"
