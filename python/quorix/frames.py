"""Frames as numpy arrays, frame sets, receipt times and the depth validity mask.

Array layouts by pixel format:

==============  ==========  ================
pixel format    dtype       shape
==============  ==========  ================
DEPTH16         uint16      (height, width)   millimetres; 0 and 65535 carry no distance
GREY16          uint16      (height, width)
GREY8           uint8       (height, width)
RGB24 / BGR24   uint8       (height, width, 3)   byte order in ``Frame.channel_order``
other           uint8       (data length,)       the bytes as delivered
==============  ==========  ================
"""

from __future__ import annotations

import ctypes
import datetime
from collections.abc import Mapping
from dataclasses import dataclass
from typing import Dict, Iterator, Optional, Tuple, Union

import numpy as np

from . import _native
from .constants import (
    DEPTH_BEYOND_RANGE,
    DEPTH_INVALID,
    READY_TYPES,
    FrameReady,
    FrameType,
    PixelFormat,
    enum_or_int,
)

MS_PER_DAY = 86_400_000


@dataclass(frozen=True)
class TimeOfDay:
    """A local time of day with milliseconds, as frames carry their receipt time."""

    hour: int
    minute: int
    second: int
    millisecond: int

    @property
    def milliseconds(self) -> int:
        """Milliseconds since midnight."""
        return ((self.hour * 60 + self.minute) * 60 + self.second) * 1000 + self.millisecond

    def to_time(self) -> datetime.time:
        return datetime.time(self.hour, self.minute, self.second, self.millisecond * 1000)

    def __str__(self) -> str:
        return f"{self.hour:02}:{self.minute:02}:{self.second:02}.{self.millisecond:03}"


def decode_timestamp(timestamp: int) -> Optional[TimeOfDay]:
    """Decodes NsFrame.timestamp: four u16 fields from the lowest bits, second, minute, hour,
    millisecond. None when a field is out of range (as NsDecodeTimestamp answers 0)."""
    if not 0 <= timestamp < 1 << 64:
        raise ValueError(f"timestamp {timestamp} is not a 64-bit unsigned value")
    second = timestamp & 0xFFFF
    minute = (timestamp >> 16) & 0xFFFF
    hour = (timestamp >> 32) & 0xFFFF
    millisecond = (timestamp >> 48) & 0xFFFF
    if second > 59 or minute > 59 or hour > 23 or millisecond > 999:
        return None
    return TimeOfDay(hour, minute, second, millisecond)


def elapsed_ms(earlier: TimeOfDay, later: TimeOfDay) -> int:
    """Milliseconds from `earlier` to `later`, wrapping at midnight (so 0..86399999)."""
    return (later.milliseconds - earlier.milliseconds) % MS_PER_DAY


def valid_depth(depth: np.ndarray) -> np.ndarray:
    """Boolean mask of the depth pixels that carry a distance (neither 0 nor 65535)."""
    return (depth != DEPTH_INVALID) & (depth != DEPTH_BEYOND_RANGE)


# pixel format -> (dtype, channels)
_LAYOUTS: Dict[int, Tuple[np.dtype, int]] = {
    PixelFormat.DEPTH16: (np.dtype("<u2"), 1),
    PixelFormat.GREY16: (np.dtype("<u2"), 1),
    PixelFormat.GREY8: (np.dtype("u1"), 1),
    PixelFormat.RGB24: (np.dtype("u1"), 3),
    PixelFormat.BGR24: (np.dtype("u1"), 3),
}

_CHANNEL_ORDERS = {PixelFormat.RGB24: "RGB", PixelFormat.BGR24: "BGR"}


def _array_of(record: _native.NsFrame, copy: bool) -> np.ndarray:
    """The record's pixels as an array: a copy, or a read-only view of the library's buffer."""
    layout = _LAYOUTS.get(record.pixelFormat)
    if layout is None:
        dtype, shape = np.dtype("u1"), (record.dataLen,)
    else:
        dtype, channels = layout
        shape = (record.height, record.width) + ((channels,) if channels > 1 else ())
    size = int(np.prod(shape)) * dtype.itemsize
    if record.dataLen < size:
        raise ValueError(
            f"frame {record.frameIndex} of type {record.frameType}: {record.width}x"
            f"{record.height} pixels of format {record.pixelFormat} need {size} bytes, the "
            f"library delivered {record.dataLen}"
        )
    if size == 0:
        return np.zeros(shape, dtype)
    if not record.pFrameData:
        raise ValueError(f"frame {record.frameIndex} of type {record.frameType} has no data")
    buffer = (ctypes.c_uint8 * size).from_address(record.pFrameData)
    array = np.frombuffer(buffer, dtype=dtype).reshape(shape)
    if copy:
        return array.copy()
    array.flags.writeable = False
    return array


class Frame:
    """One frame: pixels in ``data`` (a numpy array, see the module's table) and the record's
    metadata.

    ``data`` is a copy the frame owns, unless the frame was read with ``copy=False``: then it
    is a read-only view of the library's buffer that is valid ONLY until the session's next
    read. Reading it later gives another frame's pixels or garbage, without any error. Call
    :meth:`copy` on what you keep.
    """

    __slots__ = (
        "data",
        "type",
        "pixel_format",
        "index",
        "tag",
        "width",
        "height",
        "depth_range",
        "exposure_time",
        "timestamp",
        "owns_data",
    )

    def __init__(self, record: _native.NsFrame, copy: bool = True):
        self.data: np.ndarray = _array_of(record, copy)
        self.type: Union[FrameType, int] = enum_or_int(FrameType, record.frameType)
        self.pixel_format: Union[PixelFormat, int] = enum_or_int(PixelFormat, record.pixelFormat)
        self.index: int = record.frameIndex
        self.tag: int = record.frameTag
        self.width: int = record.width
        self.height: int = record.height
        self.depth_range: int = record.depthRange
        self.exposure_time: float = record.exposureTime
        self.timestamp: int = record.timestamp
        self.owns_data: bool = copy

    @property
    def received(self) -> Optional[TimeOfDay]:
        """Local time of day at which the library received the frame (None if the
        timestamp does not decode)."""
        return decode_timestamp(self.timestamp)

    @property
    def channel_order(self) -> Optional[str]:
        """"RGB" or "BGR" for colour frames, None for others."""
        return _CHANNEL_ORDERS.get(self.pixel_format)

    def valid_mask(self) -> np.ndarray:
        """Mask of the pixels that carry a distance; for depth frames only."""
        if self.pixel_format != PixelFormat.DEPTH16:
            raise ValueError(f"a {self.pixel_format!r} frame has no depth to be valid")
        return valid_depth(self.data)

    def copy(self) -> "Frame":
        """The same frame with a copy of the pixels that stays valid."""
        twin = object.__new__(Frame)
        for name in Frame.__slots__:
            setattr(twin, name, getattr(self, name))
        twin.data = np.array(self.data, copy=True)
        twin.owns_data = True
        return twin

    def record(self) -> _native.NsFrame:
        """An NsFrame describing this frame whose data pointer points into ``data``; valid
        while this frame lives."""
        data = self.data
        if not data.flags.c_contiguous:
            raise ValueError("frame data is not contiguous")
        return _native.NsFrame(
            frameIndex=self.index,
            frameType=int(self.type),
            pixelFormat=int(self.pixel_format),
            frameTag=self.tag,
            pFrameData=data.ctypes.data,
            dataLen=data.nbytes,
            exposureTime=self.exposure_time,
            depthRange=self.depth_range,
            width=self.width,
            height=self.height,
            timestamp=self.timestamp,
        )

    def __repr__(self) -> str:
        kind = self.type.name if isinstance(self.type, FrameType) else self.type
        return (
            f"<Frame {kind} #{self.index} {self.width}x{self.height} "
            f"{self.data.dtype}{'' if self.owns_data else ' view'}>"
        )


def _frame_of(frame_type: FrameType) -> property:
    def get(self: "FrameSet") -> Optional[Frame]:
        return self._frames.get(frame_type)

    return property(get, doc=f"The {frame_type.name} frame, or None where none came.")


class FrameSet(Mapping):
    """The frames of one capture, by FrameType: ``frames[FrameType.DEPTH]`` or
    ``frames.depth`` (None where that kind did not come)."""

    def __init__(self, frames: Dict[FrameType, Frame]):
        self._frames = dict(frames)

    def __getitem__(self, frame_type: FrameType) -> Frame:
        return self._frames[frame_type]

    def __iter__(self) -> Iterator[FrameType]:
        return iter(self._frames)

    def __len__(self) -> int:
        return len(self._frames)

    @property
    def ready(self) -> FrameReady:
        """The ready bits of the frames in this set."""
        bits = FrameReady(0)
        for bit, frame_type in READY_TYPES:
            if frame_type in self._frames:
                bits |= bit
        return bits

    depth = _frame_of(FrameType.DEPTH)
    ir = _frame_of(FrameType.IR)
    colour = _frame_of(FrameType.COLOUR)
    mapped_colour = _frame_of(FrameType.MAPPED_COLOUR)
    mapped_depth = _frame_of(FrameType.MAPPED_DEPTH)
    mapped_ir = _frame_of(FrameType.MAPPED_IR)
    wdr_depth = _frame_of(FrameType.WDR_DEPTH)

    def copy(self) -> "FrameSet":
        """A set whose frames own copies of their pixels."""
        return FrameSet({kind: frame.copy() for kind, frame in self._frames.items()})

    def __repr__(self) -> str:
        return f"<FrameSet {list(self._frames.values())}>"


# The slots of the frame callback's record, in FrameType terms.
_CALLBACK_SLOTS = (
    ("depth", FrameType.DEPTH),
    ("ir", FrameType.IR),
    ("colour", FrameType.COLOUR),
    ("mappedColour", FrameType.MAPPED_COLOUR),
    ("mappedDepth", FrameType.MAPPED_DEPTH),
    ("mappedIr", FrameType.MAPPED_IR),
)


def frame_set_of_callback(record: _native.NsFrameSet) -> FrameSet:
    """Copies of the present frames of a frame callback's record (its data pointers are
    valid only during the call)."""
    frames = {}
    for slot_name, frame_type in _CALLBACK_SLOTS:
        slot = getattr(record, slot_name)
        if slot.present:
            frames[frame_type] = Frame(slot.frame, copy=True)
    return FrameSet(frames)
