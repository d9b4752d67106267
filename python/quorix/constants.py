"""The constants of quorix_api.h as Python enums.

Every enum is an ``IntEnum`` (or ``IntFlag`` for bit sets), so a member passes wherever the C
interface takes the plain number, and a number read from the library compares equal to its
member.
"""

from __future__ import annotations

from enum import IntEnum, IntFlag
from typing import Optional, Tuple, Type, TypeVar, Union

E = TypeVar("E", bound=IntEnum)


def enum_or_int(kind: Type[E], value: int) -> Union[E, int]:
    """`value` as a member of `kind`, or the plain number where `kind` has no such member
    (a newer library may report values this package does not know yet)."""
    try:
        return kind(value)
    except ValueError:
        return value


class Status(IntEnum):
    """Status codes of every library call (NsReturnStatus)."""

    OK = 0
    FAILED = -1
    NOT_STREAMING = -2
    BAD_HANDLE = -3
    BAD_FRAME_TYPE = -4
    NULL_FRAME = -5
    NO_PROPERTY_GET = -6
    NO_PROPERTY_SET = -7
    NULL_PROPERTY = -8
    LOWER_LAYER = -9
    BAD_DEPTH_RANGE = -10
    FRAME_TIMEOUT = -11
    NULL_POINTER = -12
    OPEN_FAILED = -13
    BAD_SENSOR_TYPE = -14
    BAD_PARAMETER = -15
    UPGRADE_NOT_READY = -16
    UPGRADE_REJECTED = -17
    PATH_TOO_LONG = -18
    UPGRADE_UNSUPPORTED = -19
    REINITIALISED = -101
    NOT_INITIALISED = -102
    ALREADY_OPENED = -103
    TRANSFER_ERROR = -104
    NOT_CONFIRMED = -105
    OTHER = -255


class DeviceType(IntEnum):
    """Camera models. The member names are the model names used in URIs (``TK5P:SERIAL``),
    except TYPE_444, a USB model that has no model name."""

    TK1A = 140
    TK2A = 210
    TKS1 = 211
    TK2B = 213
    TK3A = 340
    TK4A = 440
    TK_MIPI = 441
    TK4Alite = 442
    TK4Aliteusb = 443
    TYPE_444 = 444
    TK5U = 560
    TK5P = 561
    TK5E = 562
    TK5Pro_ADI = 563

    @property
    def model(self) -> Optional[str]:
        """The model name, or None for a model without one."""
        return None if self is DeviceType.TYPE_444 else self.name


class ConnectStatus(IntEnum):
    """Where a listed camera stands (NsConnectStatus)."""

    UNKNOWN = 0
    UNCONNECTED = 1
    CONNECTED = 2
    OPENED = 3
    UPGRADE_MODE = 4
    STATE_5 = 5


class FrameType(IntEnum):
    """Kinds of frame (NsFrameType)."""

    DEPTH = 0
    IR = 1
    COLOUR = 3
    MAPPED_COLOUR = 4  # colour in depth geometry
    MAPPED_DEPTH = 5  # depth in colour geometry
    MAPPED_IR = 6  # IR in colour geometry
    WDR_DEPTH = 9  # fused depth of the WDR data modes


class FrameReady(IntFlag):
    """Bits of the ready set that a frame read fills."""

    DEPTH = 1 << 0
    IR = 1 << 1
    COLOUR = 1 << 2
    MAPPED_COLOUR = 1 << 3
    MAPPED_DEPTH = 1 << 4
    MAPPED_IR = 1 << 5
    WDR_DEPTH = 1 << 7


# Which frame type each ready bit announces, in the order a frame set lists them.
READY_TYPES: Tuple[Tuple[FrameReady, FrameType], ...] = (
    (FrameReady.DEPTH, FrameType.DEPTH),
    (FrameReady.IR, FrameType.IR),
    (FrameReady.COLOUR, FrameType.COLOUR),
    (FrameReady.MAPPED_COLOUR, FrameType.MAPPED_COLOUR),
    (FrameReady.MAPPED_DEPTH, FrameType.MAPPED_DEPTH),
    (FrameReady.MAPPED_IR, FrameType.MAPPED_IR),
    (FrameReady.WDR_DEPTH, FrameType.WDR_DEPTH),
)


class PixelFormat(IntEnum):
    """Pixel layouts of frame data (NsPixelFormat)."""

    DEPTH16 = 0  # u16 millimetres
    GREY16 = 1  # u16 grey (IR default)
    GREY8 = 2  # u8 grey (IR converted)
    RGB24 = 3  # colour, R G B byte order
    BGR24 = 4  # colour, B G R byte order


class RGBResolution(IntEnum):
    """Colour resolution codes."""

    RES_1920x1080 = 0
    RES_1280x720 = 1
    RES_640x480 = 2
    RES_640x360 = 3

    @property
    def size(self) -> Tuple[int, int]:
        """(width, height) in pixels."""
        width, height = self.name[len("RES_") :].split("x")
        return int(width), int(height)


class HotPlugEvent(IntEnum):
    ADDED = 0
    REMOVED = 1


class DiscoveryStatus(IntEnum):
    """State of the listener for network camera announcements (UDP 9007)."""

    OFF = 0  # the library is not initialised
    LISTENING = 1  # network cameras can be found
    FAILED = 2  # the port could not be taken: no network camera is found


class SensorType(IntEnum):
    """Sensor selector of the calibration getters."""

    DEPTH = 1
    COLOUR = 2


# Depth values that carry no distance: nothing usable measured, and beyond the depth range.
DEPTH_INVALID = 0
DEPTH_BEYOND_RANGE = 65535


class Property(IntEnum):
    """Property ids of Session.get_property / set_property (NS_PROPERTY_*). The header lists
    each one's size and whether it can be read or written."""

    JSON_TRANSFER = 0xFFFFFFFB
    JSON_CONFIG_MODE = 0xFFFFFFFC
    PULSE_COUNT = 0xFFFFFFFD
    THRESHOLD = 0xFFFFFFFE
    NONE = 0xFFFFFFFF
    SERIAL_NUMBER = 5
    FIRMWARE_VERSION = 6
    HARDWARE_VERSION = 7
    DATA_MODE_BYTE = 8
    DATA_MODE_LIST = 9
    DEPTH_RANGE_LIST = 10
    UPGRADE_FLAG = 11
    DEVICE_SN = 12
    MAC_ADDRESS = 13
    SOFTWARE_VERSION = 14
    IP_ADDRESS = 15
    SUBNET_MASK = 16
    DSP = 17
    UPGRADE_SUPPORTED = 18
    UPGRADE_STATE = 19
    RANGE_OFFSET = 0x0E000000
    FRAME_INFO = 0x0E000003
    TAL_DELAY = 0x0E000004
    HTP = 0xF0000001
    OFFSET = 0xF0000002
    MEASURING_RANGE = 0xF0000003
    CAMERA_PARAMETERS = 0xF0000004
    DATA_MODE = 0xF0000005
    LD_ENABLE = 0xF0000006
    ISA_ENABLE = 0xF0000007
    TAL_ENABLE = 0xF0000008
    PCBA = 0xF000000A
    WORK_MODE = 0xF000000B
    IRS2 = 0xF000000C
    GMM_GAIN = 0xF000000D
    GMM = 0xF000000E
    ACC_SENSITIVITY = 0xF000000F
    GYRO_SENSITIVITY = 0xF0000010
    IMU_DATA_MODE = 0xF0000011
    PULSE_TIME = 0xF0000012
    LENS = 0xF0000013
    PULSE_COUNT_RECORD = 0xF0000014
    ACC_OFFSET = 0xF0000015
    GYRO_OFFSET = 0xF0000016
    ACC_OFFSET_TEMP = 0xF0000017
    GYRO_OFFSET_TEMP = 0xF0000018
    FLASH_TYPE = 0xF0000019
    MEASURING_STATUS = 0xF000001A
    STREAM_HEALTH = 0xF1000001
    DATA_TAP = 0xF1000002
