/* Streams a few frame sets from a camera and saves one point cloud.
 * Usage: stream [URI [PLY]]   URI of the camera (default: the first one found; "-" too),
 *                             PLY file for the point cloud (default points.ply)
 * Prints the centre depth and receipt time of each set; writes the points of the last
 * depth frame as a binary little-endian PLY (float x y z in mm, pixels without depth left
 * out). Exits with 0, or 1 after printing what failed. */
#define _POSIX_C_SOURCE 200809L /* nanosleep under -std=c99 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <quorix/quorix_api.h>

enum { kFrameSets = 10, kMaxReads = 100, kWaitSeconds = 5 };

static int Failed(const char* call, NsReturnStatus status) {
    fprintf(stderr, "%s failed: %s (%d): %s\n", call, Ns2_GetStatusName(status), (int)status,
            Ns2_GetStatusText(status));
    return 1;
}

/* Waits for the camera with this URI (NULL: any) and copies its URI; 0 when none came. */
static int WaitForCamera(const char* uri, char* found, size_t size) {
    int waited;
    for (waited = 0; waited <= kWaitSeconds * 10; ++waited) {
        NsDeviceInfo list[16];
        uint32_t count = 0;
        uint32_t i;
        memset(list, 0, sizeof list);
        if (Ns2_GetDeviceCount(&count) == NsStatusOk && count > 0 &&
            Ns2_GetDeviceListInfo(list, count < 16 ? count : 16) == NsStatusOk) {
            for (i = 0; i < count && i < 16; ++i) {
                if (list[i].uri[0] != '\0' && (uri == NULL || strcmp(list[i].uri, uri) == 0)) {
                    snprintf(found, size, "%s", list[i].uri);
                    return 1;
                }
            }
        }
        struct timespec pause = {0, 100 * 1000 * 1000};
        nanosleep(&pause, NULL);
    }
    return 0;
}

static void ExplainNoCamera(const char* uri) {
    NsDiscoveryState state;
    memset(&state, 0, sizeof state);
    if (uri != NULL) {
        fprintf(stderr, "camera %s not found within %d s\n", uri, kWaitSeconds);
    } else {
        fprintf(stderr, "no camera found within %d s\n", kWaitSeconds);
    }
    if (Ns2_GetDiscoveryState(&state) == NsStatusOk && state.status == NsDiscoveryFailed) {
        fprintf(stderr, "network discovery failed: %s\n", state.message);
    } else {
        fprintf(stderr,
                "connect a camera, or start the simulator in another terminal:\n"
                "  quorix-camsim --address 127.0.0.2 --model TK5P --serial QX1\n");
    }
}

static void PutFloat(float value, FILE* out) {
    unsigned char bytes[4];
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    bytes[0] = (unsigned char)bits;
    bytes[1] = (unsigned char)(bits >> 8);
    bytes[2] = (unsigned char)(bits >> 16);
    bytes[3] = (unsigned char)(bits >> 24);
    fwrite(bytes, 1, sizeof bytes, out);
}

/* Writes the points of the pixels with depth; the number of points, or -1. */
static long SavePly(const char* path, const NsFrame* depth, const NsVector3f* world) {
    const uint16_t* mm = (const uint16_t*)depth->pFrameData;
    const size_t pixels = (size_t)depth->width * depth->height;
    size_t i;
    long valid = 0;
    FILE* out;
    for (i = 0; i < pixels; ++i) {
        valid += mm[i] != NsDepthInvalid && mm[i] != NsDepthBeyondRange;
    }
    out = fopen(path, "wb");
    if (out == NULL) {
        perror(path);
        return -1;
    }
    fprintf(out,
            "ply\nformat binary_little_endian 1.0\nelement vertex %ld\n"
            "property float x\nproperty float y\nproperty float z\nend_header\n",
            valid);
    for (i = 0; i < pixels; ++i) {
        if (mm[i] != NsDepthInvalid && mm[i] != NsDepthBeyondRange) {
            PutFloat(world[i].x, out);
            PutFloat(world[i].y, out);
            PutFloat(world[i].z, out);
        }
    }
    if (fclose(out) != 0) {
        perror(path);
        return -1;
    }
    return valid;
}

/* Reads kFrameSets sets with depth, printing each; the last depth frame's points go to
 * `ply`. 0 on success. */
static int Stream(NsDeviceHandle camera, const char* ply) {
    NsFrame depth;
    NsVector3f* world;
    NsReturnStatus status;
    int sets = 0;
    int reads;
    long points;
    memset(&depth, 0, sizeof depth);
    for (reads = 0; sets < kFrameSets; ++reads) {
        NsTimeOfDay t;
        uint32_t ready = 0;
        uint16_t centre;
        if (reads == kMaxReads) {
            fprintf(stderr, "only %d sets with depth in %d reads (a data mode without depth?)\n",
                    sets, reads);
            return 1;
        }
        status = Ns2_ReadNextFrame(camera, 0, &ready);
        if (status == NsStatusFrameTimeout ||
            (status == NsStatusOk && !(ready & NsFrameReadyDepth))) {
            continue;
        }
        if (status != NsStatusOk) {
            return Failed("Ns2_ReadNextFrame", status);
        }
        status = Ns2_GetFrame(camera, 0, DepthFrame, &depth);
        if (status != NsStatusOk) {
            return Failed("Ns2_GetFrame", status);
        }
        centre = ((const uint16_t*)
                      depth.pFrameData)[(size_t)depth.height / 2 * depth.width + depth.width / 2];
        printf("frame %u", depth.frameIndex);
        if (NsDecodeTimestamp(depth.timestamp, &t)) {
            printf(" at %02u:%02u:%02u.%03u", t.hour, t.minute, t.second, t.millisecond);
        }
        if (centre != NsDepthInvalid && centre != NsDepthBeyondRange) {
            printf(": centre %u mm\n", centre);
        } else {
            printf(": no depth at the centre\n");
        }
        ++sets;
    }
    /* The frame's data stays valid until the next read: convert it now. */
    world = malloc((size_t)depth.width * depth.height * sizeof *world);
    if (world == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    status = Ns2_ConvertDepthFrameToWorldVector(camera, 0, &depth, world);
    if (status != NsStatusOk) {
        free(world);
        return Failed("Ns2_ConvertDepthFrameToWorldVector", status);
    }
    points = SavePly(ply, &depth, world);
    free(world);
    if (points < 0) {
        return 1;
    }
    printf("%ld points written to %s\n", points, ply);
    return 0;
}

int main(int argc, char** argv) {
    const char* uri = argc > 1 && strcmp(argv[1], "-") != 0 && argv[1][0] ? argv[1] : NULL;
    const char* ply = argc > 2 ? argv[2] : "points.ply";
    char found[256];
    NsDeviceHandle camera = NULL;
    NsReturnStatus status;
    int result;

    status = Ns2_Initialize();
    if (status != NsStatusOk) {
        return Failed("Ns2_Initialize", status);
    }
    if (!WaitForCamera(uri, found, sizeof found)) {
        ExplainNoCamera(uri);
        Ns2_Shutdown();
        return 1;
    }
    status = Ns2_OpenDevice(found, &camera);
    if (status != NsStatusOk) {
        Ns2_Shutdown();
        return Failed("Ns2_OpenDevice", status);
    }
    printf("opened %s\n", found);
    status = Ns2_StartStream(camera, 0);
    if (status != NsStatusOk) {
        result = Failed("Ns2_StartStream", status);
    } else {
        result = Stream(camera, ply);
        status = Ns2_StopStream(camera, 0);
        if (status != NsStatusOk && result == 0) {
            result = Failed("Ns2_StopStream", status);
        }
    }
    status = Ns2_CloseDevice(&camera);
    if (status != NsStatusOk && result == 0) {
        result = Failed("Ns2_CloseDevice", status);
    }
    status = Ns2_Shutdown();
    if (status != NsStatusOk && result == 0) {
        result = Failed("Ns2_Shutdown", status);
    }
    return result;
}
