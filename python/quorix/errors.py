"""Exceptions of the quorix package.

A library call that returns a status other than 0 raises :class:`QuorixError` (or the
subclass for that status), carrying the status, its name and the library's one-line text::

    try:
        session.frame_rate = 200
    except quorix.BadParameter as error:
        print(error.status, error.name)   # -15 NsStatusBadParameter

``QuorixError(status)`` itself gives the subclass of the status, so ``QuorixError(-11)`` is
a :class:`FrameTimeout`.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Dict, Optional, Sequence, Type

from .constants import Status

if TYPE_CHECKING:
    from .library import DeviceInfo


class LibraryNotFound(OSError):
    """libquorix_api.so.3 could not be loaded; the message lists every place tried."""


class QuorixError(Exception):
    """A status other than 0 from the library.

    Attributes: ``status`` (the code, an int), ``name`` (its enumerator name, such as
    ``"NsStatusFrameTimeout"``), ``text`` (the library's one-line description) and
    ``context`` (what the package was doing).
    """

    status: int
    name: str
    text: str
    context: str
    detail: str

    def __new__(cls, status: int, context: str = "", detail: str = ""):
        if cls is QuorixError:
            cls = _BY_STATUS.get(int(status), QuorixError)
        return super().__new__(cls, status, context, detail)

    def __init__(self, status: int, context: str = "", detail: str = ""):
        self.status = int(status)
        self.name = status_name(self.status)
        self.text = status_text(self.status)
        self.context = context
        self.detail = detail
        message = f"{self.name} ({self.status}): {self.text}"
        if detail:
            message += f" ({detail})"
        if context:
            message = f"{context}: {message}"
        super().__init__(message)

    def __reduce__(self):
        return (QuorixError, (self.status, self.context, self.detail))


class NotStreaming(QuorixError):
    """-2: frames were asked for while the stream is stopped."""


class DeviceGone(QuorixError):
    """-3: the device is closed, was removed, or the session index is beyond its sensors."""


class BadParameter(QuorixError, ValueError):
    """-15: a value outside its range (also raised before any call for a value that does not
    fit the C argument's type)."""


class BadDepthRange(BadParameter):
    """-10: a depth range above 8 or one the camera does not offer."""


class FrameTimeout(QuorixError):
    """-11: no new frame arrived within the wait time."""


class OpenFailed(QuorixError):
    """-13: the camera could not be opened or did not answer."""


class AlreadyOpened(QuorixError):
    """-103: the camera is already opened by this process."""


class NotConfirmed(QuorixError):
    """-105: the camera did not show a confirmed setting in time."""


class NotSupported(QuorixError):
    """-255: not supported by this camera or in its current mode, or another failure."""


_BY_STATUS: Dict[int, Type[QuorixError]] = {
    Status.NOT_STREAMING: NotStreaming,
    Status.BAD_HANDLE: DeviceGone,
    Status.BAD_DEPTH_RANGE: BadDepthRange,
    Status.FRAME_TIMEOUT: FrameTimeout,
    Status.OPEN_FAILED: OpenFailed,
    Status.BAD_PARAMETER: BadParameter,
    Status.ALREADY_OPENED: AlreadyOpened,
    Status.NOT_CONFIRMED: NotConfirmed,
    Status.OTHER: NotSupported,
}


class CameraNotFound(LookupError):
    """No camera with the wanted URI or alias appeared in time. ``seen`` lists the cameras
    that were there; ``discovery`` is the discovery listener's message when it failed."""

    def __init__(
        self,
        wanted: Optional[str],
        timeout: float,
        seen: Sequence["DeviceInfo"],
        discovery: Optional[str] = None,
    ):
        self.wanted = wanted
        self.seen = list(seen)
        self.discovery = discovery
        cameras = ", ".join(f"{d.uri} (alias {d.alias!r})" for d in self.seen) or "none"
        what = "no camera" if wanted is None else f"no camera {wanted!r}"
        message = f"{what} appeared within {timeout:g} s; cameras seen: {cameras}"
        if discovery:
            message += f"; network discovery is not listening: {discovery}"
        super().__init__(message)


def status_name(status: int) -> str:
    """The status's enumerator name (Ns2_GetStatusName), e.g. ``"NsStatusBadHandle"``."""
    from . import _native

    try:
        return _native.api().Ns2_GetStatusName(status).decode()
    except LibraryNotFound:
        try:
            return "NsStatus" + "".join(w.capitalize() for w in Status(status).name.split("_"))
        except ValueError:
            return "NsStatusUnknown"


def status_text(status: int) -> str:
    """The library's one-line text for a status (Ns2_GetStatusText)."""
    from . import _native

    try:
        return _native.api().Ns2_GetStatusText(status).decode()
    except LibraryNotFound:
        return "(libquorix_api.so.3 is not loaded: no text)"


def check(status: int, context: str = "") -> None:
    """Raises the QuorixError of `status` unless it is 0; `context` says what was done."""
    if status != Status.OK:
        raise QuorixError(status, context)
