"""The ctypes declarations against quorix_api.h, read from the header itself so that these
tests follow it when it changes."""

import ctypes
import re

import pytest

import quorix
from quorix import _native


def strip_comments(text: str) -> str:
    return re.sub(r"/\*.*?\*/|//[^\n]*", "", text, flags=re.S)


def header_sizes(header: str):
    found = re.findall(r"QUORIX_STATIC_ASSERT\(\s*sizeof\((\w+\*?)\)\s*==\s*(\d+)", header)
    assert len(found) >= 15, "the header's size asserts were not found"
    return {name: int(size) for name, size in found}


def test_every_record_has_the_size_the_header_asserts(header_text):
    records = {cls.__name__: cls for cls in _native.RECORD_SIZES}
    for name, size in header_sizes(header_text).items():
        if name == "void*":
            assert ctypes.sizeof(ctypes.c_void_p) == size
            continue
        assert name in records, f"{name} of the header has no ctypes record"
        assert ctypes.sizeof(records[name]) == size, name


def test_every_record_field_of_the_header_is_declared_in_order(header_text):
    # A field missing or swapped can keep the size and still read the wrong bytes.
    text = strip_comments(header_text)
    for name, body in re.findall(r"typedef struct (\w+) \{(.*?)\} \1;", text, flags=re.S):
        fields = re.findall(r"(\w+)(?:\[\w+\])?;", body)
        record = getattr(_native, name)
        assert [f[0] for f in record._fields_] == fields, name


def header_enums(header: str):
    """Every enum block of the header: a list of (name, value) per block."""
    blocks = []
    for body in re.findall(r"enum\s*\{(.*?)\}", strip_comments(header), flags=re.S):
        members = []
        for name, expr in re.findall(r"(\w+)\s*=\s*([^,]+)", body):
            expr = re.sub(r"(\d)u\b", r"\1", expr.strip())
            assert re.fullmatch(r"[-\d\s<x()a-fA-F]+", expr), expr
            members.append((name, eval(expr)))
        blocks.append(members)
    return blocks


# The Python home of each enum block of the header, by the block's first name.
ENUM_HOMES = {
    "NsStatusOk": quorix.Status,
    "NsStatusLowerLayer": quorix.Status,
    "TK1A": quorix.DeviceType,
    "ConnectUNKNOWN": quorix.ConnectStatus,
    "DepthFrame": quorix.FrameType,
    "NsFrameReadyDepth": quorix.FrameReady,
    "NsPixelDepth16": quorix.PixelFormat,
    "NsRGBResolution1920x1080": quorix.RGBResolution,
    "NsHotPlugAdded": quorix.HotPlugEvent,
    "NsDiscoveryOff": quorix.DiscoveryStatus,
    "NsDepthInvalid": None,
}


def test_every_enum_of_the_header_has_the_same_values_in_python(header_text):
    expected = {}
    for members in header_enums(header_text):
        first = members[0][0]
        assert first in ENUM_HOMES, f"enum starting {first} in the header has no Python home"
        home = ENUM_HOMES[first]
        if home is None:
            continue
        expected.setdefault(home, set()).update(value for _, value in members)
    for home, values in expected.items():
        assert {int(m) for m in home} == values, home.__name__
    assert (quorix.DEPTH_INVALID, quorix.DEPTH_BEYOND_RANGE) == (0, 65535)


def test_every_property_id_of_the_header_is_a_property_member(header_text):
    ids = re.findall(r"#define NS_PROPERTY_(\w+) (0x[0-9A-Fa-f]+|\d+)u", header_text)
    assert len(ids) > 40
    for name, value in ids:
        assert quorix.Property[name] == int(value, 0), name
    assert len(quorix.Property) == len(ids)


def test_model_names_are_those_of_uris():
    assert quorix.DeviceType.TK5P.model == "TK5P"
    assert quorix.DeviceType.TYPE_444.model is None
    assert quorix.RGBResolution.RES_640x360.size == (640, 360)


def test_a_wrong_argument_type_raises_instead_of_reaching_the_library():
    with pytest.raises(ctypes.ArgumentError):
        _native.api().Ns2_OpenDevice(42, None)
    with pytest.raises(ctypes.ArgumentError):
        _native.api().Ns2_GetStatusText("-11")


def test_the_package_version_is_the_librarys():
    assert quorix.sdk_version() == quorix.__version__
