"""The library's lifetime, discovery and hot-plug.

``Library()`` initialises libquorix_api (Ns2_Initialize), which starts camera discovery;
``close()`` or the end of a ``with`` block shuts it down again (Ns2_Shutdown), which closes
every device still open. The library is one per process: Library objects made while one is
active share it, and it is shut down when the last of them is closed. At interpreter exit
a library still active is shut down, so that no library thread calls into Python then.

Make and close Library objects from one thread, while no other thread uses the package;
everything else may be called from any thread.
"""

from __future__ import annotations

import atexit
import ctypes
import logging
import threading
import time
import weakref
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable, List, Optional, Tuple, Union

from . import _native
from .constants import (
    ConnectStatus,
    DeviceType,
    DiscoveryStatus,
    HotPlugEvent,
    Status,
    enum_or_int,
)
from .errors import CameraNotFound, QuorixError, check

if TYPE_CHECKING:
    from .device import Device

log = logging.getLogger("quorix")


@dataclass(frozen=True)
class DeviceInfo:
    """A camera of the device list."""

    uri: str  # pass to Library.open
    alias: str  # serial number (USB) or announced name
    device_type: Union[DeviceType, int]
    model: Optional[str]  # model name, None where the type has none or is unknown
    session_count: int  # sensors (sessions) the camera offers
    status: Union[ConnectStatus, int]

    @classmethod
    def from_record(cls, record: _native.NsDeviceInfo) -> "DeviceInfo":
        device_type = enum_or_int(DeviceType, record.devicetype)
        return cls(
            uri=_native.text(record.uri),
            alias=_native.text(record.alias),
            device_type=device_type,
            model=device_type.model if isinstance(device_type, DeviceType) else None,
            session_count=record.SessionCount,
            status=enum_or_int(ConnectStatus, record.status),
        )


@dataclass(frozen=True)
class DiscoveryState:
    """Whether network cameras can be found: the listener on UDP `port` is LISTENING, or
    FAILED with the system's error (98: the port is in use) and a message saying what to do.
    USB cameras are found either way."""

    status: Union[DiscoveryStatus, int]
    port: int
    system_error: int
    message: str


def sdk_version() -> str:
    """The library's version, e.g. "3.4.4" (Ns2_GetSDKVersion)."""
    buffer = ctypes.create_string_buffer(16)
    check(_native.api().Ns2_GetSDKVersion(buffer), "Ns2_GetSDKVersion")
    return buffer.value.decode()


HotPlugListener = Callable[[Union[HotPlugEvent, int], DeviceInfo], None]


class _Process:
    """The process-wide state behind every Library object."""

    def __init__(self) -> None:
        self.lock = threading.RLock()
        self.users = 0
        self.devices: "weakref.WeakSet[Device]" = weakref.WeakSet()
        # Replaced, never changed in place: the callback reads it without the lock, which
        # Ns2_Shutdown's caller may hold while waiting for the callback's thread.
        self.listeners: Tuple[HotPlugListener, ...] = ()
        # Created once and never freed: the library may call it until the callback is
        # cleared, and a freed callback would be a jump into freed memory.
        self.thunk = _native.HotPlugCallback(self._on_hotplug)
        self.thunk_installed = False

    def acquire(self) -> None:
        with self.lock:
            if self.users == 0:
                check(_native.api().Ns2_Initialize(), "Ns2_Initialize")
            self.users += 1

    def release(self) -> None:
        with self.lock:
            if self.users == 0:
                return
            self.users -= 1
            if self.users == 0:
                self._shut_down()

    def release_all(self) -> None:
        with self.lock:
            if self.users > 0:
                self.users = 0
                self._shut_down()

    def _shut_down(self) -> None:
        for device in list(self.devices):
            try:
                device.close()
            except QuorixError as error:
                log.warning("closing %s at shutdown: %s", device.name, error)
        self.listeners = ()
        api = _native.api()
        if self.thunk_installed:
            api.Ns2_SetHotPlugStatusCallback(_native.HotPlugCallback())
            self.thunk_installed = False
        check(api.Ns2_Shutdown(), "Ns2_Shutdown")

    def add_listener(self, listener: HotPlugListener) -> None:
        with self.lock:
            self.listeners += (listener,)
            if not self.thunk_installed:
                check(
                    _native.api().Ns2_SetHotPlugStatusCallback(self.thunk),
                    "Ns2_SetHotPlugStatusCallback",
                )
                self.thunk_installed = True

    def remove_listener(self, listener: HotPlugListener) -> None:
        with self.lock:
            kept = list(self.listeners)
            if listener in kept:
                kept.remove(listener)
            self.listeners = tuple(kept)

    def _on_hotplug(self, record, event: int) -> None:
        # On a library thread: nothing may escape into ctypes, and the record is only valid
        # now.
        try:
            info = DeviceInfo.from_record(record.contents)
            kind = enum_or_int(HotPlugEvent, event)
        except Exception:
            log.exception("reading a hot-plug event")
            return
        for listener in self.listeners:
            try:
                listener(kind, info)
            except Exception:
                log.exception("hot-plug listener %r raised on %s of %s", listener, kind, info.uri)


_process: Optional[_Process] = None
_process_lock = threading.Lock()


def _the_process() -> _Process:
    global _process
    with _process_lock:
        if _process is None:
            _process = _Process()
        return _process


@atexit.register
def _shutdown_at_exit() -> None:
    if _process is not None:
        try:
            _process.release_all()
        except QuorixError as error:
            log.warning("shutting the library down at exit: %s", error)


class Library:
    """The initialised library: discovery, the device list, opening cameras.

    ::

        with quorix.Library() as lib:
            info = lib.wait_for("TK5P:QX1", timeout=10)
            with lib.open(info.uri) as device:
                ...

    A Library made while another is active shares it (the library is one per process) and
    is only shut down with the last one. Initialising does not fail when network discovery
    cannot listen (another program holds UDP 9007): see :meth:`discovery_state`;
    :meth:`wait_for` names the problem when a camera does not appear.
    """

    def __init__(self) -> None:
        self._process = _the_process()
        self._process.acquire()
        self._active = True
        self._listeners: List[HotPlugListener] = []

    def close(self) -> None:
        """Releases this Library; the last one shuts the library down, closing every
        device that is still open. Closing twice does nothing."""
        if not self._active:
            return
        self._active = False
        for listener in self._listeners:
            self._process.remove_listener(listener)
        self._listeners.clear()
        self._process.release()

    @property
    def active(self) -> bool:
        return self._active

    def __enter__(self) -> "Library":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def _require_active(self, what: str) -> None:
        if not self._active:
            raise QuorixError(Status.NOT_INITIALISED, what, "this Library was closed")

    def discovery_state(self) -> DiscoveryState:
        """The state of network discovery (Ns2_GetDiscoveryState); OFF once the library is
        shut down."""
        record = _native.NsDiscoveryState()
        check(_native.api().Ns2_GetDiscoveryState(ctypes.byref(record)), "Ns2_GetDiscoveryState")
        return DiscoveryState(
            status=enum_or_int(DiscoveryStatus, record.status),
            port=record.port,
            system_error=record.systemError,
            message=_native.text(record.message),
        )

    def devices(self) -> List[DeviceInfo]:
        """The cameras present now, in list order."""
        self._require_active("Library.devices")
        api = _native.api()
        count = ctypes.c_uint32(0)
        check(api.Ns2_GetDeviceCount(ctypes.byref(count)), "Ns2_GetDeviceCount")
        if count.value == 0:
            return []
        # The list may shrink between the two calls: records left empty are no cameras.
        records = (_native.NsDeviceInfo * count.value)()
        check(api.Ns2_GetDeviceListInfo(records, count.value), "Ns2_GetDeviceListInfo")
        return [DeviceInfo.from_record(r) for r in records if r.uri]

    def find(self, name: str) -> Optional[DeviceInfo]:
        """The listed camera whose URI or alias is `name`, or None."""
        for info in self.devices():
            if name in (info.uri, info.alias):
                return info
        return None

    def wait_for(
        self, name: Optional[str] = None, timeout: float = 10.0, poll: float = 0.05
    ) -> DeviceInfo:
        """Waits until a camera with URI or alias `name` (any camera for None) is listed
        and returns it; raises CameraNotFound, listing the cameras seen, after `timeout`
        seconds. Network cameras announce themselves about once a second."""
        deadline = time.monotonic() + timeout
        while True:
            if name is None:
                listed = self.devices()
                info = listed[0] if listed else None
            else:
                info = self.find(name)
            if info is not None:
                return info
            if time.monotonic() >= deadline:
                state = self.discovery_state()
                failed = state.status == DiscoveryStatus.FAILED
                raise CameraNotFound(name, timeout, self.devices(), state.message if failed else None)
            time.sleep(poll)

    def open(self, camera: Union[str, DeviceInfo]) -> "Device":
        """Opens a camera by URI, alias or DeviceInfo (Ns2_OpenDevice, or
        Ns2_OpenDeviceByAlias for a name listed only as an alias). Use it as a context
        manager, or call ``close()``."""
        from .device import Device

        self._require_active("Library.open")
        info = camera if isinstance(camera, DeviceInfo) else self.find(camera)
        name = camera.uri if isinstance(camera, DeviceInfo) else camera
        by_alias = info is not None and name != info.uri
        handle = ctypes.c_void_p()
        api = _native.api()
        opener = api.Ns2_OpenDeviceByAlias if by_alias else api.Ns2_OpenDevice
        check(opener(name.encode(), ctypes.byref(handle)), f"opening {name}")
        device = Device(handle, name, info)
        self._process.devices.add(device)
        return device

    def on_hotplug(self, listener: HotPlugListener) -> Callable[[], None]:
        """Calls ``listener(event, device_info)`` for every camera that is added or removed,
        on a library thread. Returns a function that removes the listener; it is also
        removed when this Library is closed. An exception in the listener is logged (logger
        "quorix") and does not stop the library or the other listeners."""
        self._require_active("Library.on_hotplug")
        self._process.add_listener(listener)
        self._listeners.append(listener)

        def remove() -> None:
            self._process.remove_listener(listener)
            if listener in self._listeners:
                self._listeners.remove(listener)

        return remove
