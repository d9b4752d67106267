"""Frames from NsFrame records made here over our own buffers: layouts, copies and views,
short data; receipt times; the depth validity mask."""

import datetime

import numpy as np
import pytest

import quorix
from quorix import FrameType, PixelFormat, TimeOfDay, _native
from quorix.frames import Frame, FrameSet, frame_set_of_callback


def stamp(second, minute, hour, millisecond):
    return second | minute << 16 | hour << 32 | millisecond << 48


class TestTimestamps:
    def test_fields_decode_from_the_lowest_bits(self):
        decoded = quorix.decode_timestamp(0x02AD_0011_000A_0022)
        assert decoded == TimeOfDay(hour=17, minute=10, second=34, millisecond=685)
        assert decoded.to_time() == datetime.time(17, 10, 34, 685000)
        assert str(decoded) == "17:10:34.685"
        assert decoded.milliseconds == ((17 * 60 + 10) * 60 + 34) * 1000 + 685

    def test_the_largest_valid_time_decodes(self):
        assert quorix.decode_timestamp(stamp(59, 59, 23, 999)) == TimeOfDay(23, 59, 59, 999)

    @pytest.mark.parametrize("fields", [(60, 0, 0, 0), (0, 60, 0, 0), (0, 0, 24, 0), (0, 0, 0, 1000)])
    def test_a_field_out_of_range_gives_none(self, fields):
        assert quorix.decode_timestamp(stamp(*fields)) is None

    def test_a_value_beyond_64_bits_is_refused(self):
        with pytest.raises(ValueError):
            quorix.decode_timestamp(1 << 64)
        with pytest.raises(ValueError):
            quorix.decode_timestamp(-1)

    def test_elapsed_time_wraps_at_midnight(self):
        before = TimeOfDay(23, 59, 59, 900)
        after = TimeOfDay(0, 0, 0, 150)
        assert quorix.elapsed_ms(before, after) == 250
        assert quorix.elapsed_ms(after, before) == quorix.frames.MS_PER_DAY - 250


def test_valid_depth_leaves_out_zero_and_65535():
    depth = np.array([[0, 1, 700], [65534, 65535, 0]], dtype=np.uint16)
    assert quorix.valid_depth(depth).tolist() == [[False, True, True], [True, False, False]]


def record_over(buffer: np.ndarray, pixel_format, width, height, frame_type=FrameType.DEPTH,
                data_len=None):
    return _native.NsFrame(
        frameIndex=7,
        frameType=frame_type,
        pixelFormat=pixel_format,
        frameTag=3,
        pFrameData=buffer.ctypes.data,
        dataLen=buffer.nbytes if data_len is None else data_len,
        exposureTime=15.625,
        depthRange=4,
        width=width,
        height=height,
        timestamp=stamp(34, 10, 17, 685),
    )


@pytest.mark.parametrize(
    "pixel_format, dtype, channels, order",
    [
        (PixelFormat.DEPTH16, np.uint16, 1, None),
        (PixelFormat.GREY16, np.uint16, 1, None),
        (PixelFormat.GREY8, np.uint8, 1, None),
        (PixelFormat.RGB24, np.uint8, 3, "RGB"),
        (PixelFormat.BGR24, np.uint8, 3, "BGR"),
    ],
)
def test_each_pixel_format_gives_its_dtype_and_shape(pixel_format, dtype, channels, order):
    width, height = 6, 4
    shape = (height, width) + ((channels,) if channels > 1 else ())
    pixels = np.arange(np.prod(shape)).astype(dtype).reshape(shape)
    frame = Frame(record_over(pixels, pixel_format, width, height))
    assert frame.data.dtype == dtype and frame.data.shape == shape
    assert np.array_equal(frame.data, pixels)
    assert frame.channel_order == order
    assert (frame.index, frame.tag, frame.depth_range) == (7, 3, 4)
    assert frame.received == TimeOfDay(17, 10, 34, 685)


def test_a_copy_keeps_its_pixels_when_the_library_buffer_changes():
    buffer = np.full((4, 6), 1000, dtype=np.uint16)
    record = record_over(buffer, PixelFormat.DEPTH16, 6, 4)
    copied = Frame(record)
    view = Frame(record, copy=False)
    buffer[:] = 2000  # the library reuses its buffer for the next frame
    assert (copied.data == 1000).all() and copied.owns_data
    assert (view.data == 2000).all() and not view.owns_data
    kept = view.copy()
    buffer[:] = 3000
    assert (kept.data == 2000).all()


def test_a_view_cannot_write_into_the_librarys_buffer():
    buffer = np.zeros((2, 2), dtype=np.uint16)
    view = Frame(record_over(buffer, PixelFormat.DEPTH16, 2, 2), copy=False)
    with pytest.raises(ValueError):
        view.data[0, 0] = 1


def test_data_shorter_than_the_frame_size_is_refused_not_read_past():
    buffer = np.zeros(10, dtype=np.uint16)
    with pytest.raises(ValueError, match="need 48 bytes, the library delivered 20"):
        Frame(record_over(buffer, PixelFormat.DEPTH16, 6, 4))


def test_an_unknown_pixel_format_gives_the_bytes_as_delivered():
    buffer = np.arange(10, dtype=np.uint8)
    frame = Frame(record_over(buffer, 77, 5, 2))
    assert frame.pixel_format == 77 and frame.data.tolist() == list(range(10))


def test_the_valid_mask_is_for_depth_frames_only():
    buffer = np.array([[0, 5], [65535, 9]], dtype=np.uint16)
    depth = Frame(record_over(buffer, PixelFormat.DEPTH16, 2, 2))
    assert depth.valid_mask().tolist() == [[False, True], [False, True]]
    ir = Frame(record_over(buffer, PixelFormat.GREY16, 2, 2, FrameType.IR))
    with pytest.raises(ValueError):
        ir.valid_mask()


def test_a_callback_record_gives_copies_of_the_present_slots_only():
    depth = np.full((2, 3), 1234, dtype=np.uint16)
    ir = np.full((2, 3), 99, dtype=np.uint16)
    record = _native.NsFrameSet()
    record.depth.frame = record_over(depth, PixelFormat.DEPTH16, 3, 2)
    record.depth.present = 1
    record.ir.frame = record_over(ir, PixelFormat.GREY16, 3, 2, FrameType.IR)
    record.ir.present = 0  # filled but not present: left out
    frames = frame_set_of_callback(record)
    depth[:] = 0
    assert list(frames) == [FrameType.DEPTH] and frames.ir is None
    assert (frames.depth.data == 1234).all()
    assert frames.ready == quorix.FrameReady.DEPTH


def test_a_frame_set_copy_owns_every_frame():
    buffer = np.full((2, 2), 5, dtype=np.uint16)
    views = FrameSet({FrameType.DEPTH: Frame(record_over(buffer, PixelFormat.DEPTH16, 2, 2), False)})
    kept = views.copy()
    buffer[:] = 6
    assert (kept[FrameType.DEPTH].data == 5).all()
