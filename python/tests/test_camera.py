"""The package against simulated cameras (quorix-camsim), found through discovery like any
network camera. Each test runs its own camera on 127.0.95.N."""

import threading

import numpy as np
import pytest

import quorix
from conftest import wait_listed, wait_until
from quorix import FrameType, PixelFormat

pytestmark = pytest.mark.camera

STAMP_ONE = 4000  # IR value of a set bit of the capture stamp in row 0 (sim/Scene.h)


def capture_stamp(ir: np.ndarray) -> int:
    """The capture number the simulator stamps into row 0 of IR: bit b at pixel 8b + 4."""
    bits = ir[0, 4:256:8] == STAMP_ONE
    return sum(1 << b for b, bit in enumerate(bits) if bit)


def read_until(session: quorix.Session, kinds, tries: int = 30, accept=lambda frames: True) -> quorix.FrameSet:
    """The first frame set that holds every kind of `kinds` (and that `accept` takes)."""
    for _ in range(tries):
        frames = session.read(timeout_ms=2000)
        if all(kind in frames for kind in kinds) and accept(frames):
            return frames
    raise AssertionError(f"no frame set with {kinds} in {tries} reads")


def test_discovery_lists_the_camera_and_hot_plug_reports_it_despite_a_failing_listener(
    lib, camsim, caplog
):
    events = []
    added, removed = threading.Event(), threading.Event()

    def broken(event, info):
        raise RuntimeError("a bug in the application's listener")

    def listener(event, info):
        events.append((event, info))
        if info.uri == "TK5P:DISC1":
            (added if event == quorix.HotPlugEvent.ADDED else removed).set()

    lib.on_hotplug(broken)
    lib.on_hotplug(listener)
    camera = camsim(1, "DISC1", sessions=2)
    assert added.wait(10), "no hot-plug event for the camera"

    info = wait_listed(lib, camera)
    assert info == quorix.DeviceInfo(
        uri="TK5P:DISC1",
        alias="DISC1",
        device_type=quorix.DeviceType.TK5P,
        model="TK5P",
        session_count=2,
        status=quorix.ConnectStatus.CONNECTED,
    )
    assert events[0] == (quorix.HotPlugEvent.ADDED, info)
    assert "a bug in the application's listener" in caplog.text

    camera.process.terminate()  # the simulator says farewell
    assert removed.wait(10), "no removal reported"
    assert lib.find(camera.uri) is None
    assert lib.discovery_state().status == quorix.DiscoveryStatus.LISTENING


def test_waiting_for_an_absent_camera_names_the_ones_seen(lib, camsim):
    camera = camsim(2, "SEEN2")
    wait_listed(lib, camera)
    with pytest.raises(quorix.CameraNotFound) as caught:
        lib.wait_for("TK5P:ABSENT", timeout=0.3)
    assert "'TK5P:ABSENT'" in str(caught.value) and "TK5P:SEEN2" in str(caught.value)
    # Other cameras on the machine's network may be seen too: only ours is checked.
    assert "TK5P:SEEN2" in [d.uri for d in caught.value.seen]
    assert "TK5P:ABSENT" not in [d.uri for d in caught.value.seen]


def test_open_by_alias_then_opening_twice_or_an_unknown_camera_raise(lib, camsim):
    camera = camsim(3, "ALIAS3", "--alias", "FRONT")
    wait_listed(lib, camera)
    with lib.open("FRONT") as device:
        assert device.info.uri == "TK5P:ALIAS3"
        with pytest.raises(quorix.AlreadyOpened):
            lib.open("TK5P:ALIAS3")
        with pytest.raises(IndexError):
            device[1]
    with pytest.raises(quorix.OpenFailed):
        lib.open("TK5P:NOSUCH3")


def test_depth_ir_and_colour_arrive_in_the_shapes_and_types_of_their_modes(lib, camsim):
    camera = camsim(4, "STREAM4", "--data-mode", "2")
    with lib.open(wait_listed(lib, camera)) as device, device[0].stream() as session:
        frames = read_until(session, (FrameType.DEPTH, FrameType.IR, FrameType.COLOUR))
        expected = {
            FrameType.DEPTH: (np.uint16, ()),
            FrameType.IR: (np.uint16, ()),
            FrameType.COLOUR: (np.uint8, (3,)),
        }
        for kind, (dtype, channels) in expected.items():
            mode = session.frame_mode(kind)
            frame = frames[kind]
            assert frame.type == kind
            assert frame.data.dtype == dtype, kind
            assert frame.data.shape == (mode.height, mode.width) + channels, kind
            assert frame.pixel_format == mode.pixel_format, kind
            assert frame.received is not None
        assert frames.colour.channel_order == "BGR"
        assert frames.depth.depth_range == session.depth_range
        assert frames.depth.index == frames.ir.index == frames.colour.index

        session.set_colour_format(PixelFormat.RGB24)
        session.set_ir_format(PixelFormat.GREY8)
        # A set decoded before the switch may still be on its way, in the old formats (which
        # its frames say); the sets after it come in the new ones.
        frames = read_until(
            session, (FrameType.IR, FrameType.COLOUR),
            accept=lambda f: f.colour.channel_order == "RGB" and f.ir.pixel_format == PixelFormat.GREY8)
        assert frames.colour.channel_order == "RGB"
        assert frames.ir.pixel_format == PixelFormat.GREY8
        assert frames.ir.data.dtype == np.uint8 and frames.ir.data.shape == (480, 640)

        intrinsics = session.camera_parameters()
        assert intrinsics.matrix.shape == (3, 3) and intrinsics.fx > 0
        assert session.extrinsics().rotation.shape == (3, 3)


def test_a_copied_frame_keeps_its_pixels_over_later_reads(lib, camsim):
    camera = camsim(5, "COPY5", "--data-mode", "2")
    with lib.open(wait_listed(lib, camera)) as device, device[0].stream() as session:
        kept = read_until(session, (FrameType.IR,)).ir
        pixels = kept.data.tobytes()
        stamp = capture_stamp(kept.data)
        later = [read_until(session, (FrameType.IR,)).ir for _ in range(5)]
        # The scene moved on (so a view would have changed), the copy did not.
        assert all(capture_stamp(frame.data) != stamp for frame in later)
        assert kept.data.tobytes() == pixels

        view = session.read(timeout_ms=2000, copy=False)
        for frame in view.values():
            assert not frame.owns_data and not frame.data.flags.writeable


def test_point_clouds_leave_out_pixels_without_depth(lib, camsim):
    camera = camsim(6, "CLOUD6")
    with lib.open(wait_listed(lib, camera)) as device, device[0].stream() as session:
        depth = read_until(session, (FrameType.DEPTH,)).depth
        valid = depth.valid_mask().reshape(-1)
        assert 0 < valid.sum() < valid.size, "the scene has patches without depth"

        points = session.point_cloud(depth)
        grid = session.point_cloud(depth, keep_invalid=True)
        assert points.dtype == np.float32 and points.shape == (valid.sum(), 3)
        assert grid.shape == (depth.width * depth.height, 3)
        assert np.array_equal(points, grid[valid])
        assert not grid[~valid].any()
        assert np.array_equal(points[:, 2], depth.data.reshape(-1)[valid].astype(np.float32))


def test_refused_settings_raise_with_the_librarys_status(lib, camsim):
    camera = camsim(7, "SET7")
    with lib.open(wait_listed(lib, camera)) as device, device[0].stream() as session:
        with pytest.raises(quorix.BadParameter) as caught:
            session.frame_rate = 200
        assert caught.value.status == -15
        assert str(caught.value).startswith("frame_rate = 200: NsStatusBadParameter (-15): ")

        with pytest.raises(quorix.BadDepthRange) as caught:
            session.depth_range = 9
        assert caught.value.status == -10 and caught.value.text in str(caught.value)

        with pytest.raises(quorix.NotSupported):
            session.data_mode = 5  # the simulator offers no data mode 5

        # Beyond the C type: refused here, where ctypes would pass 300 as 44.
        with pytest.raises(quorix.BadParameter, match="300 is outside 0..255"):
            session.frame_rate = 300
        with pytest.raises(TypeError):
            session.threshold = 2.5

        session.threshold = 37
        assert session.threshold == 37
        session.rgb_resolution = quorix.RGBResolution.RES_1280x720
        assert session.rgb_resolution is quorix.RGBResolution.RES_1280x720
        session.smoothing_filter = True
        assert session.smoothing_filter is True


def test_frame_callbacks_get_copies_and_outlive_a_listener_exception(lib, camsim, caplog):
    camera = camsim(8, "CALLBACK8")
    received = []

    def listener(frames):
        if not received:
            received.append(None)
            raise RuntimeError("a bug in the application's frame listener")
        received.append(frames)

    with lib.open(wait_listed(lib, camera)) as device, device[0].stream() as session:
        session.on_frames(listener)
        wait_until(lambda: len(received) >= 4, what="frames after the listener's exception")
        with pytest.raises(quorix.QuorixError) as caught:
            session.read(timeout_ms=500)
        assert caught.value.status == -1  # frames go to the callback
        session.on_frames(None)
        assert session.read(timeout_ms=2000).depth is not None

    assert "a bug in the application's frame listener" in caplog.text
    frames = received[1:]
    assert all(f.depth.owns_data and f.depth.data.shape == (480, 640) for f in frames)
    indexes = [f.depth.index for f in frames]
    assert indexes == sorted(set(indexes))


def test_a_listener_may_close_its_own_device(lib, camsim):
    camera = camsim(10, "SELFCLOSE10")
    device = lib.open(wait_listed(lib, camera))
    session = device[0]
    calls = []

    def listener(frames):
        calls.append(frames)
        device.close()

    session.on_frames(listener)
    session.start()
    wait_until(lambda: device.closed, what="the device closed from its callback")
    with pytest.raises(quorix.DeviceGone):
        session.read()
    assert calls


def test_closing_makes_later_calls_raise_device_gone(lib, camsim):
    camera = camsim(9, "CLOSE9")
    info = wait_listed(lib, camera)
    with lib.open(info) as device:
        session = device[0]
        session.start()
    assert device.closed
    for call in (session.start, session.read, lambda: session.threshold):
        with pytest.raises(quorix.DeviceGone) as caught:
            call()
        assert caught.value.status == -3
    device.close()  # again: nothing happens

    # Shutting the library down closes what is still open.
    wait_listed(lib, camera)
    device = lib.open(info)
    lib.close()
    assert device.closed
    with pytest.raises(quorix.DeviceGone):
        device[0].stop()


def test_libraries_made_while_one_is_active_share_it():
    first = quorix.Library()
    second = quorix.Library()
    second.close()
    assert first.discovery_state().status == quorix.DiscoveryStatus.LISTENING
    first.close()
    assert first.discovery_state().status == quorix.DiscoveryStatus.OFF
    with pytest.raises(quorix.QuorixError) as caught:
        first.devices()
    assert caught.value.status == quorix.Status.NOT_INITIALISED
    with quorix.Library() as again:  # and it starts again
        assert again.discovery_state().status == quorix.DiscoveryStatus.LISTENING
