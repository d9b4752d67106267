// Compiled only: every template of quorix.hpp instantiated under the strict flags of its
// target, as a C++17 user would meet them.
#include "quorix/quorix.hpp"

namespace {

[[maybe_unused]] size_t UseEverything(quorix::Library& library, quorix::Session s) {
    size_t n = library.devices().size() + quorix::Library::version().size();
    quorix::Result<quorix::FrameSet> r = s.try_read();
    if (r.timed_out() || !r) {
        return r.error().status() == NsStatusOk ? 0 : n;
    }
    const quorix::FrameSet& set = *r;
    const quorix::Frame copy = r->depth().copy();
    for (const uint16_t mm : copy.pixels16()) {
        n += quorix::valid_depth(mm) ? 1u : 0u;
    }
    n += std::move(r).value().ir().width();
    n += s.points(set.depth()).size() + s.point_grid(set.depth()).size();
    s.set_depth_range(s.depth_range());
    s.set_data_mode(s.data_mode());
    s.set_threshold(s.threshold());
    s.set_pulse_count(s.pulse_count());
    s.set_frame_rate(s.frame_rate());
    s.set_colour_resolution(s.colour_resolution());
    s.enable(quorix::Switch::synchronize, !s.enabled(quorix::Switch::synchronize));
    s.set_read_timeout(std::chrono::milliseconds(500));
    n += s.serial_number().size() + s.firmware_version().size();
    n += static_cast<size_t>(s.camera_parameters(quorix::Sensor::colour).fx);
    n += static_cast<size_t>(s.extrinsic_parameters().translation[0]);
    n += s.measuring_range(0).depthMaxFar;
    const quorix::Registration frames = s.on_frames([](const quorix::FrameSet&) {});
    const quorix::Registration hotplug =
        library.on_hotplug([](const quorix::DeviceInfo&, quorix::HotPlug) {});
    return n + (set.depth().time() ? 1u : 0u) + (frames.active() && hotplug ? 1u : 0u);
}

}  // namespace
