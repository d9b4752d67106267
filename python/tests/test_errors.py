"""Status names and texts through the library, and the exception of each status."""

import pickle

import pytest

import quorix
from quorix import Status


def test_every_status_has_the_librarys_name_and_text_in_its_exception(header_text):
    for status in Status:
        if status == Status.OK:
            continue
        error = quorix.QuorixError(status, "doing it")
        # The library's name is the header's enumerator: it is in the header verbatim.
        assert f"{error.name} = {int(status)}" in header_text, error.name
        assert error.status == status
        assert error.text and error.text != quorix.status_text(Status.OK)
        assert str(error) == f"doing it: {error.name} ({int(status)}): {error.text}"


@pytest.mark.parametrize(
    "status, kind",
    [
        (-2, quorix.NotStreaming),
        (-3, quorix.DeviceGone),
        (-10, quorix.BadDepthRange),
        (-11, quorix.FrameTimeout),
        (-13, quorix.OpenFailed),
        (-15, quorix.BadParameter),
        (-103, quorix.AlreadyOpened),
        (-105, quorix.NotConfirmed),
        (-255, quorix.NotSupported),
    ],
)
def test_common_statuses_raise_their_own_subclass(status, kind):
    with pytest.raises(kind) as caught:
        quorix.check(status, "call")
    assert type(caught.value) is kind
    assert isinstance(caught.value, quorix.QuorixError)
    assert type(quorix.QuorixError(status)) is kind


def test_refused_values_are_also_value_errors():
    assert issubclass(quorix.BadParameter, ValueError)
    assert issubclass(quorix.BadDepthRange, quorix.BadParameter)


def test_other_and_unknown_statuses_stay_plain_quorix_errors():
    for status in (-1, -4, -104, -20, 7):
        error = quorix.QuorixError(status)
        assert type(error) is quorix.QuorixError
    assert quorix.QuorixError(-20).name == "NsStatusUnknown"


def test_check_passes_zero():
    assert quorix.check(0) is None


def test_an_error_survives_pickling_with_its_status():
    error = pickle.loads(pickle.dumps(quorix.QuorixError(-11, "read", "after 5 s")))
    assert type(error) is quorix.FrameTimeout
    assert (error.status, error.context, error.detail) == (-11, "read", "after 5 s")
