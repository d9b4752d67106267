// `quorix-cli view`: a live viewer served to a browser on 127.0.0.1. One thread reads the
// camera's frame sets and turns depth (colourised), IR and colour into JPEG images, and every
// few frames a point cloud; the HTTP server streams the page each set's images on one
// response (only the newest of each panel: a slow page skips frames instead of queueing
// them), and serves the statistics, the camera's info and the points, and passes the
// page's setting changes to the library. The page and its scripts are built into the program:
// nothing is fetched from elsewhere.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "quorix/quorix_api.h"

namespace quorix::cli {

struct ViewOptions {
    uint16_t port = 8080;
    double seconds = 0;  // 0: until interrupted
};

// Serves until `interrupted` turns non-zero or `options.seconds` pass; the stream of the
// session must be running. Returns the exit code (printed on failure).
int RunViewer(NsDeviceHandle handle, uint32_t session, const ViewOptions& options,
              const volatile std::sig_atomic_t& interrupted);

// The page (HTML with its script and styles).
const char* ViewerPage();

}  // namespace quorix::cli
