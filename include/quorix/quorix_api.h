/*
 * quorix_api.h - public C interface of libquorix_api.so, the host SDK of Quorix
 * time-of-flight depth cameras.
 *
 * Every record is packed with 1-byte alignment and little-endian; the sizes are checked
 * at compile time. Every function returns an NsReturnStatus: 0 on success, a negative
 * code on failure. The header compiles as C99 and as C++.
 *
 * Threads: functions may be called from any application thread, except that
 * Ns2_Initialize / Ns2_Shutdown (and their first-generation twins) are called from one
 * thread and not concurrently with any other function.
 */
#ifndef QUORIX_QUORIX_API_H
#define QUORIX_QUORIX_API_H

#include <stdint.h>

#if defined(__GNUC__)
#define QUORIX_API __attribute__((visibility("default")))
#else
#define QUORIX_API
#endif

/* Helpers defined in this header: inline where the language has it (C99, C++), else static. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define QUORIX_INLINE static inline
#elif defined(__GNUC__)
#define QUORIX_INLINE static __inline__
#else
#define QUORIX_INLINE static
#endif

/* Casts in those helpers: C++ builds with -Wold-style-cast stay quiet. */
#ifdef __cplusplus
#define QUORIX_CAST(type, value) static_cast<type>(value)
#else
#define QUORIX_CAST(type, value) ((type)(value))
#endif

#ifdef __cplusplus
#define QUORIX_STATIC_ASSERT(cond, name) static_assert(cond, #name)
extern "C" {
#else
#define QUORIX_STATIC_ASSERT(cond, name) typedef char quorix_static_assert_##name[(cond) ? 1 : -1]
#endif

/* ---------------------------------------------------------------------------------------
 * Status codes
 * ------------------------------------------------------------------------------------- */

/* Signed 32-bit status; the public set is 0, -1..-19, -101..-105 and -255. */
typedef int32_t NsReturnStatus;

enum {
    NsStatusOk = 0,
    NsStatusFailed = -1,              /* a lower layer failed; or frames go to a callback */
    NsStatusNotStreaming = -2,        /* frame reading while the stream is stopped */
    NsStatusBadHandle = -3,           /* null/closed handle or no such session */
    NsStatusBadFrameType = -4,        /* frame type invalid or not ready */
    NsStatusNullFrame = -5,           /* null frame record or frame data */
    NsStatusNoPropertyGet = -6,       /* property id has no reading */
    NsStatusNoPropertySet = -7,       /* property id has no writing */
    NsStatusNullProperty = -8,        /* null property value or size */
    NsStatusBadDepthRange = -10,      /* depth range not accepted by the session */
    NsStatusFrameTimeout = -11,       /* no new frame within the wait time */
    NsStatusNullPointer = -12,        /* a required pointer is null */
    NsStatusOpenFailed = -13,         /* camera could not be opened or reached */
    NsStatusBadSensorType = -14,      /* sensor type other than 1 (depth) or 2 (colour) */
    NsStatusBadParameter = -15,       /* parameter out of its range, size mismatch */
    NsStatusUpgradeNotReady = -16,    /* firmware upgrade could not start */
    NsStatusUpgradeRejected = -17,    /* firmware image refused */
    NsStatusPathTooLong = -18,        /* firmware path longer than 260 characters */
    NsStatusUpgradeUnsupported = -19, /* firmware upgrade not possible on this camera */
    NsStatusReinitialised = -101,     /* Ns2_Initialize while initialised */
    NsStatusNotInitialised = -102,    /* Ns2_Shutdown while not initialised */
    NsStatusAlreadyOpened = -103,     /* the device is already opened */
    NsStatusTransferError = -104,     /* a network command could not be sent or answered */
    NsStatusNotConfirmed = -105,      /* the camera did not show a confirmed setting in time */
    NsStatusOther = -255              /* any other failure, or "not supported" */
};
/* -9 is not produced by the library; it passes through from a lower layer. */
enum { NsStatusLowerLayer = -9 };

/* The status's enumerator name ("NsStatusBadHandle") and a one-line English text that says
 * what happened and, where there is something to do, what to do. Both are static strings,
 * never null; a code outside the public set gives "NsStatusUnknown" and a text that says so.
 * Callable at any time, also before Ns2_Initialize. */
QUORIX_API const char* Ns2_GetStatusName(NsReturnStatus status);
QUORIX_API const char* Ns2_GetStatusText(NsReturnStatus status);

/* ---------------------------------------------------------------------------------------
 * Enumerations (carried as u32 in records and arguments)
 * ------------------------------------------------------------------------------------- */

/* Camera model. 561, 562, 563, 440 and 442 are network cameras; all others are USB. */
typedef uint32_t NsDeviceType;
enum {
    TK1A = 140,
    TK2A = 210,
    TKS1 = 211,
    TK2B = 213,
    TK3A = 340,
    TK4A = 440,
    TK_MIPI = 441,
    TK4Alite = 442,
    TK4Aliteusb = 443,
    NsDeviceType444 = 444, /* USB model with a 480 x 480 sensor; it has no model name */
    TK5U = 560,
    TK5P = 561,
    TK5E = 562,
    TK5Pro_ADI = 563
};

typedef uint32_t NsConnectStatus;
enum {
    ConnectUNKNOWN = 0,  /* unclassified, or a network state the library does not use */
    Unconnected = 1,     /* gone; the record stays but is no longer reported */
    Connected = 2,       /* present and free to open */
    Opened = 3,          /* opened by this process */
    UpgradeMode = 4,     /* network camera waiting in upgrade / JSON-transfer mode */
    NsConnectStatus5 = 5 /* network discovery state 4; nothing acts on it */
};

typedef uint32_t NsFrameType;
enum {
    DepthFrame = 0,
    IRFrame = 1,
    RGBFrame = 3,
    MappedRGBFrame = 4,   /* colour in depth geometry */
    MappedDepthFrame = 5, /* depth in colour geometry */
    MappedIRFrame = 6,    /* IR in colour geometry */
    WDRDepthFrame = 9     /* fused depth of the WDR data modes */
};

/* Bits of the frame-ready set filled (ORed) by Ns2_ReadNextFrame; zero it before the call. */
enum {
    NsFrameReadyDepth = 1u << 0,
    NsFrameReadyIR = 1u << 1,
    NsFrameReadyRGB = 1u << 2,
    NsFrameReadyMappedRGB = 1u << 3,
    NsFrameReadyMappedDepth = 1u << 4,
    NsFrameReadyMappedIR = 1u << 5,
    NsFrameReadyWDRDepth = 1u << 7
};

typedef uint32_t NsPixelFormat;
enum {
    NsPixelDepth16 = 0, /* 16-bit depth in millimetres */
    NsPixelGrey16 = 1,  /* 16-bit grey (IR default) */
    NsPixelGrey8 = 2,   /* 8-bit grey (IR converted); data length = width x height */
    NsPixelRGB24 = 3,   /* colour, R G B byte order */
    NsPixelBGR24 = 4    /* colour, B G R byte order */
};

/* Colour resolution codes (u16 when read, u32 when written). */
enum {
    NsRGBResolution1920x1080 = 0,
    NsRGBResolution1280x720 = 1,
    NsRGBResolution640x480 = 2,
    NsRGBResolution640x360 = 3
};

/* Hot-plug events. */
enum { NsHotPlugAdded = 0, NsHotPlugRemoved = 1 };

/* Depth pixel values that carry no distance: 0 where the camera measured nothing usable
 * (no return, too near, too little signal) and 65535 beyond the end of the depth range.
 * Leave both out of statistics and point clouds (Ns2_ConvertDepthFrameToWorldVector gives
 * them z = 0). Every other value is millimetres. */
enum { NsDepthInvalid = 0, NsDepthBeyondRange = 65535 };

/* Network discovery (the listener for camera announcements on UDP 9007). */
typedef uint32_t NsDiscoveryStatus;
enum {
    NsDiscoveryOff = 0,       /* the library is not initialised */
    NsDiscoveryListening = 1, /* announcements are heard; network cameras can be found */
    NsDiscoveryFailed = 2     /* the port could not be taken: no network camera is found */
};

/* ---------------------------------------------------------------------------------------
 * Records
 * ------------------------------------------------------------------------------------- */
#pragma pack(push, 1)

typedef struct NsDeviceInfo {
    uint32_t SessionCount; /* sensors (sessions) the device offers */
    uint32_t devicetype;   /* NsDeviceType */
    char uri[256];         /* NUL-terminated; pass to Ns2_OpenDevice */
    uint8_t reserved[50];  /* always zero */
    char alias[64];        /* NUL-terminated serial number (USB) or discovery name */
    uint32_t status;       /* NsConnectStatus */
} NsDeviceInfo;

typedef struct NsFrame {
    uint32_t frameIndex;  /* capture counter from the camera */
    uint32_t frameType;   /* NsFrameType */
    uint32_t pixelFormat; /* NsPixelFormat */
    uint8_t frameTag;     /* per-capture byte from the camera, unchanged */
    void* pFrameData;     /* owned by the library; valid until the next Ns2_ReadNextFrame.
                           * Depth: u16 millimetres row by row, 0 and 65535 no depth
                           * (NsDepthInvalid, NsDepthBeyondRange) */
    uint32_t dataLen;     /* bytes of pixel data */
    float exposureTime;   /* colour frames: the camera's value x 1000 */
    uint32_t depthRange;  /* 0..8, for depth frames */
    uint16_t width;
    uint16_t height;
    uint64_t timestamp; /* local time of day at receipt: NsDecodeTimestamp */
} NsFrame;

/* NsFrame.timestamp is the local time of day at which the library received the frame,
 * four u16 fields from the lowest bits: second, minute, hour, millisecond. Decode it with
 * NsDecodeTimestamp; subtract two decoded times (milliseconds of the day, wrapping at
 * midnight) for a latency or an interval. */
typedef struct NsTimeOfDay {
    uint16_t hour;        /* 0..23 */
    uint16_t minute;      /* 0..59 */
    uint16_t second;      /* 0..59 */
    uint16_t millisecond; /* 0..999 */
} NsTimeOfDay;

/* The state of network discovery, from Ns2_GetDiscoveryState. */
typedef struct NsDiscoveryState {
    uint32_t status;     /* NsDiscoveryStatus */
    int32_t systemError; /* errno of the call that failed (98: port in use), else 0 */
    uint16_t port;       /* the UDP port listened on (9007) */
    uint16_t reserved;   /* zero */
    char message[160];   /* NUL-terminated: what happened and what to do, or "" */
} NsDiscoveryState;

/* How a network camera's data stream held its framing (NS_PROPERTY_STREAM_HEALTH). Bytes
 * that are no frame (a camera's slip, a corrupted network) lose the framing: the library
 * drops them with the data connection and connects it again, and frames flow on. */
typedef struct NsStreamHealth {
    uint32_t framingLosses; /* times the framing was lost since the device was opened */
    uint32_t reconnections; /* data connections made again to mend it */
} NsStreamHealth;

/* A tap on a network camera's data connection (NS_PROPERTY_DATA_TAP, write only), for
 * recorders: `callback` gets every data frame exactly as it arrived (its 8-byte header,
 * then its payload) on the session's reader thread, before it is decoded. The callback must
 * return quickly and must not call the library; it may keep no pointer it was given. A
 * null callback removes the tap; once that write returns, the callback is not running and
 * is never called again. Closing the device removes it too. */
typedef void (*NsDataTapCallback)(void* context, const uint8_t* header, uint32_t headerLength,
                                  const uint8_t* payload, uint32_t payloadLength);
typedef struct NsDataTap {
    NsDataTapCallback callback;
    void* context;
} NsDataTap;

typedef struct NsFrameMode {
    uint32_t pixelFormat;
    uint32_t resolutionWidth;
    uint32_t resolutionHeight;
    uint32_t fps;
} NsFrameMode;

typedef struct NsMeasuringRange {
    uint8_t depthMode;
    uint16_t depthMaxNear;
    uint16_t depthMaxMid;
    uint16_t depthMaxFar;
    uint16_t effectDepthMaxNear;
    uint16_t effectDepthMaxMid;
    uint16_t effectDepthMaxFar;
    uint16_t effectDepthMinNear;
    uint16_t effectDepthMinMid;
    uint16_t effectDepthMinFar;
} NsMeasuringRange;

typedef struct NsCameraParameters {
    double fx;
    double fy;
    double cx;
    double cy;
    double distortion[8];
} NsCameraParameters;

typedef struct NsCameraExtrinsicParameters {
    double rotation[9]; /* 3 x 3, row by row */
    double translation[3];
} NsCameraExtrinsicParameters;

typedef struct NsDepthVector3 {
    int32_t depthX;  /* column */
    int32_t depthY;  /* row */
    uint16_t depthZ; /* millimetres */
} NsDepthVector3;

typedef struct NsVector3f {
    float x;
    float y;
    float z;
} NsVector3f;

typedef struct NsGMMGain {
    uint16_t gain;
    uint8_t option;
} NsGMMGain;

typedef struct NsRgbExposure {
    float exposureTime;
    float gain;
} NsRgbExposure;

/* One slot of the frame callback's record: a frame and whether it is present. */
typedef struct NsFrameSlot {
    NsFrame frame;
    uint8_t present;
} NsFrameSlot;

/* What a frame callback receives: the frames of one capture. */
typedef struct NsFrameSet {
    NsFrameSlot colour;
    NsFrameSlot depth;
    NsFrameSlot ir;
    NsFrameSlot mappedColour; /* colour in depth geometry */
    NsFrameSlot mappedDepth;  /* depth in colour geometry */
    NsFrameSlot mappedIr;     /* IR in colour geometry */
} NsFrameSet;

#pragma pack(pop)

QUORIX_STATIC_ASSERT(sizeof(NsFrameSlot) == 46, NsFrameSlot_is_46_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsFrameSet) == 276, NsFrameSet_is_276_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsDeviceInfo) == 382, NsDeviceInfo_is_382_bytes);
QUORIX_STATIC_ASSERT(sizeof(void*) == 8, quorix_api_needs_64_bit_pointers);
QUORIX_STATIC_ASSERT(sizeof(NsFrame) == 45, NsFrame_is_45_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsFrameMode) == 16, NsFrameMode_is_16_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsTimeOfDay) == 8, NsTimeOfDay_is_8_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsStreamHealth) == 8, NsStreamHealth_is_8_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsDiscoveryState) == 172, NsDiscoveryState_is_172_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsMeasuringRange) == 19, NsMeasuringRange_is_19_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsCameraParameters) == 96, NsCameraParameters_is_96_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsCameraExtrinsicParameters) == 96,
                     NsCameraExtrinsicParameters_is_96_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsDepthVector3) == 10, NsDepthVector3_is_10_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsVector3f) == 12, NsVector3f_is_12_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsGMMGain) == 3, NsGMMGain_is_3_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsRgbExposure) == 8, NsRgbExposure_is_8_bytes);

/* ---------------------------------------------------------------------------------------
 * Handles and callbacks
 * ------------------------------------------------------------------------------------- */

/* Opaque device handle from Ns2_OpenDevice / Ns2_OpenDeviceByAlias; 0 holds no device.
 * Owned by the library and freed by Ns2_CloseDevice. */
typedef void* NsDeviceHandle;

/* Hot-plug callbacks: called on a short-lived library thread, one event at a time, with no
 * library lock held. The record is a snapshot valid only during the call. event is
 * NsHotPlugAdded or NsHotPlugRemoved. Do not call Ns2_Shutdown from inside. */
typedef void (*NsHotPlugCallback)(const NsDeviceInfo* device, int32_t event);
typedef void (*NsHotPlugCallbackEx)(const NsDeviceInfo* device, int32_t event, void* context);

/* Frame callback: called on the session's "Callback" thread with the frames of one capture;
 * the data pointers are valid only during the call. No library lock is held; the callback
 * may call Ns2_StopStream or Ns2_CloseDevice on its own device. */
typedef void (*NsFrameCallback)(const NsFrameSet* frames);

/* Firmware-upgrade and JSON-transfer progress: (status code, parameter). */
typedef void (*NsUpgradeStatusCallback)(int32_t status, int32_t parameter);

/* ---------------------------------------------------------------------------------------
 * Library frame
 * ------------------------------------------------------------------------------------- */

/* Creates the configuration, opens the log and starts device discovery.
 * -101 when already initialised. */
QUORIX_API NsReturnStatus Ns2_Initialize(void);

/* Stops discovery, releases every device (all handles die) and closes the log.
 * -102 when not initialised. */
QUORIX_API NsReturnStatus Ns2_Shutdown(void);

/* Writes the five characters "3.4.4" without a terminating NUL: pass a zeroed buffer of
 * at least 6 bytes to read it as a C string. -12 for a null buffer. */
QUORIX_API NsReturnStatus Ns2_GetSDKVersion(char* buffer);

/* Whether network cameras can be found: after Ns2_Initialize the listener has either taken
 * UDP 9007 (NsDiscoveryListening) or not (NsDiscoveryFailed, with the system's error and a
 * message: typically another program holds the port). Ns2_Initialize still succeeds then,
 * since USB cameras do not need the port. NsDiscoveryOff before Ns2_Initialize and after
 * Ns2_Shutdown. -12 for a null record. */
QUORIX_API NsReturnStatus Ns2_GetDiscoveryState(NsDiscoveryState* state);

/* Decodes NsFrame.timestamp into *time: 1 when every field is in range, else 0 (time is
 * then untouched). */
QUORIX_INLINE int NsDecodeTimestamp(uint64_t timestamp, NsTimeOfDay* time) {
    NsTimeOfDay t;
    t.second = QUORIX_CAST(uint16_t, timestamp & 0xFFFFu);
    t.minute = QUORIX_CAST(uint16_t, (timestamp >> 16) & 0xFFFFu);
    t.hour = QUORIX_CAST(uint16_t, (timestamp >> 32) & 0xFFFFu);
    t.millisecond = QUORIX_CAST(uint16_t, (timestamp >> 48) & 0xFFFFu);
    if (!time || t.second > 59 || t.minute > 59 || t.hour > 23 || t.millisecond > 999) {
        return 0;
    }
    *time = t;
    return 1;
}

/* Milliseconds since midnight of a decoded time. */
QUORIX_INLINE uint32_t NsTimeOfDayMilliseconds(const NsTimeOfDay* time) {
    return ((time->hour * 60u + time->minute) * 60u + time->second) * 1000u + time->millisecond;
}

/* ---------------------------------------------------------------------------------------
 * Device list and hot-plug
 * ------------------------------------------------------------------------------------- */

/* Number of cameras present (USB enumeration is refreshed first). Also NsGetDeviceCount. */
QUORIX_API NsReturnStatus Ns2_GetDeviceCount(uint32_t* count);

/* Copies at most `count` device records, in list order. -12 for a null list. */
QUORIX_API NsReturnStatus Ns2_GetDeviceListInfo(NsDeviceInfo* list, uint32_t count);

/* Copies the index-th device record. -12 for null, -15 for an index beyond the list. */
QUORIX_API NsReturnStatus Ns2_GetDeviceInfo(NsDeviceInfo* record, uint32_t index);

/* Hot-plug callbacks (null clears). Both forms may be set; both are called per event.
 * Replacing or clearing one waits for a call of it already running on another thread, so
 * a context may be freed once the setter returns; a callback may clear itself. */
QUORIX_API NsReturnStatus Ns2_SetHotPlugStatusCallback(NsHotPlugCallback callback);
QUORIX_API NsReturnStatus Ns2_SetHotPlugStatusCallback_(NsHotPlugCallbackEx callback,
                                                        void* context);

/* ---------------------------------------------------------------------------------------
 * Open and close
 * ------------------------------------------------------------------------------------- */

/* Opens the camera with exactly this URI (or alias). -103 when it is already opened (the
 * handle variable is left untouched); -13 when it cannot be opened (the variable becomes
 * 0); -12 for a null handle variable. */
QUORIX_API NsReturnStatus Ns2_OpenDevice(const char* uri, NsDeviceHandle* handle);
QUORIX_API NsReturnStatus Ns2_OpenDeviceByAlias(const char* alias, NsDeviceHandle* handle);

/* Closes the camera and sets the variable to 0. -3 when it holds 0 or a closed handle. Do
 * not call it for a device from inside that device's hot-plug callback. */
QUORIX_API NsReturnStatus Ns2_CloseDevice(NsDeviceHandle* handle);

/* ---------------------------------------------------------------------------------------
 * Streaming and frames (h: device handle, s: session index, 0 for the first sensor)
 * ------------------------------------------------------------------------------------- */

/* Starts the stream; the first start after open reads the camera's parameters first. */
QUORIX_API NsReturnStatus Ns2_StartStream(NsDeviceHandle handle, uint32_t sessionIndex);
QUORIX_API NsReturnStatus Ns2_StopStream(NsDeviceHandle handle, uint32_t sessionIndex);

/* Waits for the next frames (see Ns2_SetWaitTimeOfReadNextFrame) and ORs the NsFrameReady*
 * bits of the ready frames into *readySet (zero it first). -2 when not streaming, -11 when
 * nothing came in time, -1 while a frame callback is registered. */
QUORIX_API NsReturnStatus Ns2_ReadNextFrame(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint32_t* readySet);

/* Fills *frame with the ready frame of this type; its data stays valid until the next
 * Ns2_ReadNextFrame of the session. -4 (record zeroed) when none is ready, -5 for null. */
QUORIX_API NsReturnStatus Ns2_GetFrame(NsDeviceHandle handle, uint32_t sessionIndex,
                                       uint32_t frameType, NsFrame* frame);

/* Width, height, fps and pixel format of depth (0), IR (1) or colour (3) frames. */
QUORIX_API NsReturnStatus Ns2_GetFrameMode(NsDeviceHandle handle, uint32_t sessionIndex,
                                           uint32_t frameType, NsFrameMode* mode);

/* How long Ns2_ReadNextFrame waits for frames, in milliseconds (default 350). */
QUORIX_API NsReturnStatus Ns2_SetWaitTimeOfReadNextFrame(NsDeviceHandle handle,
                                                         uint32_t sessionIndex,
                                                         uint16_t milliseconds);

/* Delivers frames to `callback` on a thread of the session instead of Ns2_ReadNextFrame. */
QUORIX_API NsReturnStatus Ns2_RegisterNotify(NsDeviceHandle handle, uint32_t sessionIndex,
                                             NsFrameCallback callback);
/* Stops the callback thread and forgets the callback. */
QUORIX_API NsReturnStatus Ns2_UnRegisterNotify(NsDeviceHandle handle, uint32_t sessionIndex);

/* Per-stream switches (enable 0 or 1). */
QUORIX_API NsReturnStatus Ns2_SetDepthFrameEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetIrFrameEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetRgbFrameEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                 uint8_t enable);

/* Kept for existing applications: they only check the handle and session (0 or -3). The
 * camera identity is read through Ns2_GetProperty. */
QUORIX_API NsReturnStatus Ns2_GetDeviceSN(NsDeviceHandle handle, uint32_t sessionIndex, void* data,
                                          uint32_t size);
QUORIX_API NsReturnStatus Ns2_SetDeviceSN(NsDeviceHandle handle, uint32_t sessionIndex,
                                          const void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_GetDeviceMACAddr(NsDeviceHandle handle, uint32_t sessionIndex,
                                               void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_SetDeviceMACAddr(NsDeviceHandle handle, uint32_t sessionIndex,
                                               const void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_GetDeviceSoftVer(NsDeviceHandle handle, uint32_t sessionIndex,
                                               void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_SetDeviceSoftVer(NsDeviceHandle handle, uint32_t sessionIndex,
                                               const void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_GetDeviceUpgradeFlag(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_SetDeviceUpgradeFlag(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   const void* data, uint32_t size);
QUORIX_API NsReturnStatus Ns2_SetWDRFusionThreshold(NsDeviceHandle handle, uint32_t sessionIndex,
                                                    uint16_t threshold);

/* Kept for existing applications; mapping is switched per session instead. Always -255. */
QUORIX_API NsReturnStatus Ns2_MappingInitialize(void);
QUORIX_API NsReturnStatus Ns2_MappingShutdown(void);
QUORIX_API NsReturnStatus Ns2_SetMapping(NsDeviceHandle handle, uint32_t sessionIndex,
                                         uint8_t enable);

/* ---------------------------------------------------------------------------------------
 * Settings, camera parameters and properties (h: device handle, s: session index)
 *
 * Every function runs on the caller's thread and may block while it talks to the camera.
 * Settings marked "confirmed" are sent and then, while the camera reports its state in
 * the stream and the stream runs, awaited until the camera shows the new value: they
 * return -105 when it does not within their time (up to 6 s for the data mode). Nothing
 * is awaited while the stream is stopped. Pointers belong to the caller and are only
 * used during the call; a null pointer where a value is required gives -12 unless said
 * otherwise.
 * ------------------------------------------------------------------------------------- */

#pragma pack(push, 1)
/* How the WDR data modes (11-13) alternate depth ranges: 2 or 3 ranges, each a depth
 * range code with its frames per cycle. */
typedef struct NsWDROutputMode {
    uint32_t totalRange;
    uint32_t range1;
    uint8_t range1Count;
    uint32_t range2;
    uint8_t range2Count;
    uint32_t range3;
    uint8_t range3Count;
} NsWDROutputMode;
#pragma pack(pop)
QUORIX_STATIC_ASSERT(sizeof(NsWDROutputMode) == 19, NsWDROutputMode_is_19_bytes);

/* Depth range 0..8 (confirmed). -10 for a range above 8 or one the camera does not offer
 * (nothing is sent); 1 in a WDR data mode becomes -255. Reading gives -13 when the camera
 * does not answer. */
QUORIX_API NsReturnStatus Ns2_SetDepthRange(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint32_t range);
QUORIX_API NsReturnStatus Ns2_GetDepthRange(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint32_t* range);
/* Background threshold 0..6553 (confirmed; the camera holds it x 10 in 16 bits): above
 * gives -15 and nothing is sent; -255 in the WDR data modes. */
QUORIX_API NsReturnStatus Ns2_SetThreshold(NsDeviceHandle handle, uint32_t sessionIndex,
                                           uint16_t threshold);
QUORIX_API NsReturnStatus Ns2_GetThreshold(NsDeviceHandle handle, uint32_t sessionIndex,
                                           uint16_t* threshold);
/* Pulse count of the current depth range (confirmed); -255 in the WDR data modes. */
QUORIX_API NsReturnStatus Ns2_SetPulseCount(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint16_t pulseCount);
QUORIX_API NsReturnStatus Ns2_GetPulseCount(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint16_t* pulseCount);
/* Data mode (confirmed). A mode the camera does not offer, or a WDR mode (11-13) before
 * Ns2_SetWDROutputMode, gives -255. */
QUORIX_API NsReturnStatus Ns2_SetDataMode(NsDeviceHandle handle, uint32_t sessionIndex,
                                          uint8_t dataMode);
QUORIX_API NsReturnStatus Ns2_GetDataMode(NsDeviceHandle handle, uint32_t sessionIndex,
                                          uint8_t* dataMode);
/* ToF frames per second, 1..60 (the highest rate of any data mode); 0 or above 60 gives
 * -15 and nothing is sent. */
QUORIX_API NsReturnStatus Ns2_SetTofFrameRate(NsDeviceHandle handle, uint32_t sessionIndex,
                                              uint8_t fps);
QUORIX_API NsReturnStatus Ns2_GetTofFrameRate(NsDeviceHandle handle, uint32_t sessionIndex,
                                              uint8_t* fps);
QUORIX_API NsReturnStatus Ns2_SetConfidenceBit(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint8_t bit);
QUORIX_API NsReturnStatus Ns2_GetConfidenceBit(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint8_t* bit);
QUORIX_API NsReturnStatus Ns2_SetConfidenceWhich(NsDeviceHandle handle, uint32_t sessionIndex,
                                                 uint8_t which);
QUORIX_API NsReturnStatus Ns2_GetConfidenceWhich(NsDeviceHandle handle, uint32_t sessionIndex,
                                                 uint8_t* which);
/* WDR output mode (confirmed); set it before a WDR data mode. The ranges are kept sorted
 * (each with its frame count). -15, with nothing sent, for a mode that cannot be fused: not
 * 2 or 3 different ranges of 0..8, or (once the camera's measuring ranges are known)
 * neighbouring ranges that overlap by 20 mm or less. */
QUORIX_API NsReturnStatus Ns2_SetWDROutputMode(NsDeviceHandle handle, uint32_t sessionIndex,
                                               const NsWDROutputMode* mode);
QUORIX_API NsReturnStatus Ns2_GetWDROutputMode(NsDeviceHandle handle, uint32_t sessionIndex,
                                               NsWDROutputMode* mode);
/* Data mode 11 only (else -1): 1 delivers each range's frame, 0 fuses them (frame type 9,
 * ready bit NsFrameReadyWDRDepth) once every range has delivered a frame. */
QUORIX_API NsReturnStatus Ns2_SetWDRStyle(NsDeviceHandle handle, uint32_t sessionIndex,
                                          uint32_t style);
/* Per-range values of the WDR data modes: three u16 (ranges 1, 2, 3 of the output mode; the
 * third only with three ranges) and one byte, 7 bytes in all. Outside a WDR data mode a
 * set gives -255. Thresholds are in the unit of Ns2_SetThreshold. */
QUORIX_API NsReturnStatus Ns2_SetWDRPulseCount(NsDeviceHandle handle, uint32_t sessionIndex,
                                               const void* values);
QUORIX_API NsReturnStatus Ns2_GetWDRPulseCount(NsDeviceHandle handle, uint32_t sessionIndex,
                                               void* values);
QUORIX_API NsReturnStatus Ns2_SetWDRThreshold(NsDeviceHandle handle, uint32_t sessionIndex,
                                              const void* values);
QUORIX_API NsReturnStatus Ns2_GetWDRThreshold(NsDeviceHandle handle, uint32_t sessionIndex,
                                              void* values);
QUORIX_API NsReturnStatus Ns2_SetWDRMMGain(NsDeviceHandle handle, uint32_t sessionIndex,
                                           const void* values);
QUORIX_API NsReturnStatus Ns2_GetWDRMMGain(NsDeviceHandle handle, uint32_t sessionIndex,
                                           void* values);
/* GMM gain (confirmed); reading reports the 16-bit gain. */
QUORIX_API NsReturnStatus Ns2_SetGMMGain(NsDeviceHandle handle, uint32_t sessionIndex,
                                         const NsGMMGain* gain);
QUORIX_API NsReturnStatus Ns2_GetGMMGain(NsDeviceHandle handle, uint32_t sessionIndex,
                                         uint16_t* gain);
/* Low-power (stand-by) mode (confirmed when entered); frame reading pauses meanwhile. */
QUORIX_API NsReturnStatus Ns2_SetLowPowerModeEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                     uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetStandByEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                uint8_t enable);
/* Slave (externally triggered) mode (confirmed), and one software trigger of a slave. */
QUORIX_API NsReturnStatus Ns2_SetSlaveModeEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                  uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetSlaveTrigger(NsDeviceHandle handle, uint32_t sessionIndex);
QUORIX_API NsReturnStatus Ns2_SetAntiInterferenceEnabled(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, uint8_t enable);
/* Whether Ns2_ReadNextFrame delivers depth, IR and colour of one capture together. */
QUORIX_API NsReturnStatus Ns2_SetSynchronizeEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                    uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetSynchronizeEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                    uint8_t* enabled);

/* Filters and mapping of this library (not the camera's). They return -255 when the
 * image pre-processing is unavailable; the mapper switches make Ns2_GetFrame deliver
 * MappedRGBFrame (DepthToRGB), MappedDepthFrame (RGBToDepth) and MappedIRFrame (RGBToIR).
 *
 * Depth and IR filters run on the host, on the decoding thread, before a frame is queued.
 * Every switch starts off; with all of them off a frame is delivered exactly as decoded.
 * They work on every camera's 640x480 depth (640x360 in data modes 5 and 7), on the
 * fused and the per-range frames of WDR, and on IR; not on depth that a camera sends as
 * 320x240 millimetres (it is enlarged, not measured, on the host). Costs are for one VGA
 * frame on one core of a 2.6 GHz x86 server with AVX-512, chosen at run time; without
 * vector instructions each takes up to about three times as long, and stays under 1 ms.
 *   - Real-depth correction (Compute.../Set...RealDepthCorrection, NsSetFilter 0): the
 *     camera reports the distance along each pixel's ray; this turns it into the planar
 *     Z that the conversion functions assume, Z = distance / sqrt(1 + x*x + y*y) with
 *     (x, y) the pixel's ray from the depth camera matrix. Off, depth stays radial.
 *     About 0.15 ms.
 *   - Smoothing (NsSetFilter 1): the median of each 3x3 window of depth, among the pixels
 *     that have a distance; a pixel without one is filled only where two thirds of its
 *     window have one (single dropouts; never a hole of 2x2 or more). Also a 3x3 median
 *     on IR. Removes flying pixels and salt noise. About 0.09 ms for depth, 0.05 ms for IR.
 *   - Spatial filter: edge-preserving smoothing along rows and columns (forward and
 *     backward); neighbours closer than max(12 mm, 2 % of the depth) are averaged, larger
 *     steps stay sharp. Cuts the noise on flat surfaces about three times; fills nothing.
 *     About 0.5 ms.
 *   - Time filter: per pixel an exponential average of successive frames (weight 0.15 of
 *     the new one); a change larger than max(20 mm, 3 % of the depth) restarts the pixel
 *     from the new value, so moving objects leave no trail; a pixel that loses its
 *     distance keeps its average for two frames. The history starts again on a depth
 *     range change, a data mode change, a frame size change and when the stream stops.
 *     In WDR with per-range frames (style 1) the range changes every frame, so the time
 *     filter has no effect there. About 0.16 ms.
 * With any depth filter on, pixels outside the current range's valid depth (the
 * effective minimum and maximum of the measuring range, plus its offset) become 0
 * (nearer) or 65535 (farther) first. Order: valid depth, depth distortion correction,
 * real-depth correction, smoothing, spatial, time. */
QUORIX_API NsReturnStatus Ns2_SetRealDepthCorrectionEnabled(NsDeviceHandle handle,
                                                            uint32_t sessionIndex, uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetComputeRealDepthCorrectionEnabled(NsDeviceHandle handle,
                                                                   uint32_t sessionIndex,
                                                                   uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetComputeRealDepthCorrectionEnabled(NsDeviceHandle handle,
                                                                   uint32_t sessionIndex,
                                                                   uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetSmoothingFilterEnabled(NsDeviceHandle handle,
                                                        uint32_t sessionIndex, uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetSmoothingFilterEnabled(NsDeviceHandle handle,
                                                        uint32_t sessionIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetDepthDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                                  uint32_t sessionIndex,
                                                                  uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetDepthDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                                  uint32_t sessionIndex,
                                                                  uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetIrDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                               uint32_t sessionIndex,
                                                               uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetIrDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                               uint32_t sessionIndex,
                                                               uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetRGBDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                                uint32_t sessionIndex,
                                                                uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetRGBDistortionCorrectionEnabled(NsDeviceHandle handle,
                                                                uint32_t sessionIndex,
                                                                uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetRGBCorrectionEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetRGBCorrectionEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetMapperEnabledDepthToRGB(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetMapperEnabledDepthToRGB(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetMapperEnabledRGBToDepth(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetMapperEnabledRGBToDepth(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetMapperEnabledRGBToIR(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetMapperEnabledRGBToIR(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetTimeFilterEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetTimeFilterEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   uint8_t* enabled);
QUORIX_API NsReturnStatus Ns2_SetSpatialFilterEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t enable);
QUORIX_API NsReturnStatus Ns2_GetSpatialFilterEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t* enabled);

/* Switches of this library's frame delivery. Colour format 3 RGB or 4 BGR, IR format 0..2
 * (2: 8-bit grey); others give -15. Mirror: 1 horizontal, 2 vertical, 3 both, else none.
 * Rotation: 0 quarter turn clockwise, 1 half turn, 2 quarter turn counter-clockwise, else
 * none. */
QUORIX_API NsReturnStatus Ns2_SetColorPixelFormat(NsDeviceHandle handle, uint32_t sessionIndex,
                                                  int32_t format);
QUORIX_API NsReturnStatus Ns2_SetIRPixelFormat(NsDeviceHandle handle, uint32_t sessionIndex,
                                               int32_t format);
QUORIX_API NsReturnStatus Ns2_SetImageMirror(NsDeviceHandle handle, uint32_t sessionIndex,
                                             uint32_t mirror);
QUORIX_API NsReturnStatus Ns2_SetImageRotation(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint32_t rotation);
/* 0 reads calibration from the camera on every query instead of the copy read at start. */
QUORIX_API NsReturnStatus Ns2_SetFromLocal(NsDeviceHandle handle, uint32_t sessionIndex,
                                           uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetRawDepthCut(NsDeviceHandle handle, uint32_t sessionIndex,
                                             uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetTofAecEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint8_t enable);
/* Saves the next seven raw buffers (and decoded depth) to files in the working folder;
 * always 0 for a valid handle. */
QUORIX_API NsReturnStatus Ns2_SetSaveRawBufferEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint8_t enable);
/* Kept for existing applications: they do nothing (0 for a valid handle). */
QUORIX_API NsReturnStatus Ns2_SetSaveComputeDepthTab(NsDeviceHandle handle, uint32_t sessionIndex);
QUORIX_API NsReturnStatus Ns2_SetRangeValue(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint32_t value1, uint32_t value2, uint32_t value3);

/* Colour sensor. Resolution codes NsRGBResolution* (other codes set 1920 x 1080; reading
 * leaves *code unchanged for a size without a code). */
QUORIX_API NsReturnStatus Ns2_SetRGBResolution(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint32_t code);
QUORIX_API NsReturnStatus Ns2_GetRGBResolution(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint16_t* code);
QUORIX_API NsReturnStatus Ns2_SetRgbAecEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint8_t enable);
QUORIX_API NsReturnStatus Ns2_SetRgbExplosureTimeAndGain(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, float exposureTime,
                                                         float gain);
QUORIX_API NsReturnStatus Ns2_GetRgbExplosureTimeAndGain(NsDeviceHandle handle,
                                                         uint32_t sessionIndex, float* exposureTime,
                                                         float* gain);

/* Camera registers: `count` (at most 15) addresses and values. */
QUORIX_API NsReturnStatus Ns2_SetRegVal(NsDeviceHandle handle, uint32_t sessionIndex,
                                        const uint16_t* addresses, const uint16_t* values,
                                        uint8_t count);
QUORIX_API NsReturnStatus Ns2_GetRegVal(NsDeviceHandle handle, uint32_t sessionIndex,
                                        const uint16_t* addresses, uint16_t* values, uint8_t count);
/* Plane-correction block: `count` / `capacity` in 4-byte units. */
QUORIX_API NsReturnStatus Ns2_SetPlaneCorrectionParam(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint16_t id, const void* block,
                                                      uint32_t count);
QUORIX_API NsReturnStatus Ns2_GetPlaneCorrectionParam(NsDeviceHandle handle, uint32_t sessionIndex,
                                                      uint16_t* id, void* block, uint32_t capacity,
                                                      uint32_t* count);
/* Factory test pattern: a mode and four values. */
QUORIX_API NsReturnStatus Ns2_SetTestModeState(NsDeviceHandle handle, uint32_t sessionIndex,
                                               uint32_t mode, const uint32_t values[4]);

/* Calibration. Sensor type 1 depth, 2 colour (others -14). Colour parameters are scaled to
 * the current colour resolution. */
QUORIX_API NsReturnStatus Ns2_GetCameraParameters(NsDeviceHandle handle, uint32_t sessionIndex,
                                                  int32_t sensorType, NsCameraParameters* out);
QUORIX_API NsReturnStatus Ns2_GetCameraExtrinsicParameters(NsDeviceHandle handle,
                                                           uint32_t sessionIndex,
                                                           NsCameraExtrinsicParameters* out);
/* Depth limits of a depth range's group (ranges 0-2, 3-5, 6-8), including the camera's
 * offsets; the record is written in every case. */
QUORIX_API NsReturnStatus Ns2_GetMeasuringRange(NsDeviceHandle handle, uint32_t sessionIndex,
                                                int32_t range, NsMeasuringRange* out);

/* Identity texts, NUL-terminated within `length` bytes. */
QUORIX_API NsReturnStatus Ns2_GetSerialNumber(NsDeviceHandle handle, uint32_t sessionIndex,
                                              char* buffer, uint32_t length);
QUORIX_API NsReturnStatus Ns2_GetFirmwareVersionNumber(NsDeviceHandle handle, uint32_t sessionIndex,
                                                       char* buffer, uint32_t length);
/* The camera's DSP (property 17). */
QUORIX_API NsReturnStatus Ns2_SetDSPEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                            int8_t enable);
QUORIX_API NsReturnStatus Ns2_GetDSPEnabled(NsDeviceHandle handle, uint32_t sessionIndex,
                                            uint8_t* enabled);

/* ---------------------------------------------------------------------------------------
 * Firmware upgrade and JSON configuration transfer (network cameras TK4Alite, TK5P, TK5E,
 * TK5Pro_ADI, and USB cameras)
 * ------------------------------------------------------------------------------------- */

/* Stores the firmware-upgrade status callback (process-wide: one upgrade at a time).
 * -12 for a null callback (checked before the handle). Register it before
 * Ns2_StartUpgradeFirmWare. */
QUORIX_API NsReturnStatus Ns2_SetUpgradeStatusCallback(NsDeviceHandle handle,
                                                       uint32_t sessionIndex,
                                                       NsUpgradeStatusCallback callback);

/* Checks the image at `path` (NUL-terminated, at most 260 characters) against the camera
 * (model code, image date and build not older than the installed firmware, size field),
 * then switches the camera into upgrade mode and returns; the transfer runs on the
 * library's "Upgrade" thread. A network camera fetches the file by its name from this
 * host. A USB camera stops streaming and restarts as its upgrade-mode device with a
 * removable drive; the image is copied onto that drive only (the drive on the camera's
 * own USB device: a stick plugged in meanwhile is never written; when the camera's drive
 * cannot be told apart the transfer ends with (2, -1)), then checked and flashed.
 * Every refusal is decided before anything but queries reaches the camera, so a refused
 * upgrade never leaves the camera in upgrade mode.
 *
 * The callback, on the "Upgrade" thread with no library lock held, gets (status,
 * parameter) in this order on success:
 *   (4, 1) image and checksum accepted; (5, percent) flashing, repeated, with (5, 100)
 *   once flashing ends; (6, 1) and (7, 1) later device stages; (8, 1) upgrade done.
 * A failure ends the transfer with one callback whose parameter is -1 (or the camera's
 * non-1 value): (2, -1) connection failed; (4, -1) checksum refused; (s, -1) with s the
 * stage reached + 2 after 60 s without progress. After the last callback the camera is
 * told to reboot; it comes back with its (new) firmware and is opened again as usual.
 * Close the handle after a successful start: the camera's connections go to the upgrader.
 *
 * Results (the session's status and the public status it maps to):
 *   session  situation                                            public
 *    0, 1    upgrade started (newer image, or the same build)      0
 *   -1       installed version text invalid, TK1A build below 28,  -16 NsStatusUpgradeNotReady
 *            older image or byte 49 set, wrong model code, older
 *            build, camera without upgrade support, a transfer
 *            already running
 *   -2       image cannot be opened, is shorter than 512 bytes,    -17 NsStatusUpgradeRejected
 *            or its size field differs from its size
 *   -3       the camera refused the switch into upgrade mode       -104 NsStatusTransferError
 *   -4       no status callback registered; a model the upgrader   -19 NsStatusUpgradeUnsupported
 *            cannot follow (TK4A 440)
 *   -13      the session has no connection                         -13 NsStatusOpenFailed
 *   Before the handle check: null path -12, longer than 260 characters -18.
 *
 * JSON transfer, through Ns2_SetProperty:
 *   NS_PROPERTY_JSON_CONFIG_MODE (-4): data holds an NsUpgradeStatusCallback, size exactly
 *     sizeof(NsUpgradeStatusCallback) (else -15; a null callback -12). Switches the camera
 *     into JSON mode; the "JsonCtl" thread calls back (1, 0) once the camera waits for the
 *     new file (for 20 s; then the camera is rebooted and the transfer ends).
 *       session -2 camera without JSON support, -4 a model it cannot follow  -> -19
 *       session -3 the camera refused the switch                             -> -104
 *       session -1 a JSON transfer already running                           -> -16
 *   NS_PROPERTY_JSON_TRANSFER (-5): data holds the new file's path; it is read up to
 *     `size` bytes or its NUL, whichever comes first (empty -15, over 260 characters
 *     -18). A network camera fetches the file by its name from this host; for a USB
 *     camera it is copied onto the camera's own drive.
 *   A USB camera's current file is copied from its drive before (1, 0) to
 *     "<home>/.local/share/Quorix/Json/config.json" (created when missing; a failure
 *     ends the transfer with (1, -1)).
 *       session -2 the camera does not wait for a file (before (1, 0))       -> -16
 *     Then: (4, 1) checksum accepted, (5, percent), (5, 100), (6, 1) applied; failures as
 *     for the upgrade, and an unreadable or empty file ends with (2, -1). */
QUORIX_API NsReturnStatus Ns2_StartUpgradeFirmWare(NsDeviceHandle handle, uint32_t sessionIndex,
                                                   const char* path);

/* Properties. Reading: `*size` is what `data` holds; where a property has a fixed size a
 * smaller `*size` gives -15 and nothing is written, and `*size` becomes the size
 * delivered. Writing: a fixed-size property needs exactly that size (-15 otherwise).
 * -6: the id cannot be read; -7: it cannot be written; -8: null data (or size). The ids,
 * with their sizes (r: read, w: written):
 *   NS_PROPERTY_PULSE_COUNT         u16 r/w          NS_PROPERTY_THRESHOLD      u16 w
 *   NS_PROPERTY_SERIAL_NUMBER       text r/w         NS_PROPERTY_FIRMWARE_VERSION text r
 *   NS_PROPERTY_HARDWARE_VERSION    text r           NS_PROPERTY_DATA_MODE_BYTE u8 w
 *   NS_PROPERTY_DATA_MODE_LIST      33: count, modes  NS_PROPERTY_DEPTH_RANGE_LIST 10
 *   NS_PROPERTY_DSP                 6: option, u32 selector, value (r/w)
 *   NS_PROPERTY_FRAME_INFO          NsFrame r: the newest depth (else IR) frame delivered
 *                                   by Ns2_ReadNextFrame, not taken; -4 before any, -1
 *                                   while a frame callback is registered
 *   NS_PROPERTY_CAMERA_PARAMETERS   76: u32 selector (0 depth intrinsics, 1 depth
 *                                   distortion, 2 and 3 the same for colour, 4 rotation,
 *                                   5 translation, 6 essential, 7 fundamental matrix),
 *                                   then nine f64; read fills the values of the selector
 *   NS_PROPERTY_MEASURING_RANGE     NsMeasuringRange as the camera holds it (group in
 *                                   depthMode)
 *   NS_PROPERTY_LENS                8: sensor (2 colour), 1, u16 width, u16 height, fps, 2
 *   NS_PROPERTY_STREAM_HEALTH       NsStreamHealth r: the data stream's framing losses and
 *                                   reconnections (network cameras; -255 on USB)
 *   NS_PROPERTY_DATA_TAP            NsDataTap w: taps the data connection (network
 *                                   cameras; -255 on USB)
 * Ids -4 and -5 (JSON transfer, write only): see Ns2_StartUpgradeFirmWare. */
#define NS_PROPERTY_JSON_TRANSFER 0xFFFFFFFBu
#define NS_PROPERTY_JSON_CONFIG_MODE 0xFFFFFFFCu
#define NS_PROPERTY_PULSE_COUNT 0xFFFFFFFDu
#define NS_PROPERTY_THRESHOLD 0xFFFFFFFEu
#define NS_PROPERTY_NONE 0xFFFFFFFFu
#define NS_PROPERTY_SERIAL_NUMBER 5u
#define NS_PROPERTY_FIRMWARE_VERSION 6u
#define NS_PROPERTY_HARDWARE_VERSION 7u
#define NS_PROPERTY_DATA_MODE_BYTE 8u
#define NS_PROPERTY_DATA_MODE_LIST 9u
#define NS_PROPERTY_DEPTH_RANGE_LIST 10u
#define NS_PROPERTY_UPGRADE_FLAG 11u
#define NS_PROPERTY_DEVICE_SN 12u
#define NS_PROPERTY_MAC_ADDRESS 13u
#define NS_PROPERTY_SOFTWARE_VERSION 14u
#define NS_PROPERTY_IP_ADDRESS 15u
#define NS_PROPERTY_SUBNET_MASK 16u
#define NS_PROPERTY_DSP 17u
#define NS_PROPERTY_UPGRADE_SUPPORTED 18u
#define NS_PROPERTY_UPGRADE_STATE 19u
#define NS_PROPERTY_RANGE_OFFSET 0x0E000000u
#define NS_PROPERTY_FRAME_INFO 0x0E000003u
#define NS_PROPERTY_TAL_DELAY 0x0E000004u
#define NS_PROPERTY_HTP 0xF0000001u                /* 37 */
#define NS_PROPERTY_OFFSET 0xF0000002u             /* 100; bytes 0 and 1 select */
#define NS_PROPERTY_MEASURING_RANGE 0xF0000003u    /* 19 */
#define NS_PROPERTY_CAMERA_PARAMETERS 0xF0000004u  /* 76 */
#define NS_PROPERTY_DATA_MODE 0xF0000005u          /* 1 */
#define NS_PROPERTY_LD_ENABLE 0xF0000006u          /* 2 */
#define NS_PROPERTY_ISA_ENABLE 0xF0000007u         /* 1 */
#define NS_PROPERTY_TAL_ENABLE 0xF0000008u         /* 2 */
#define NS_PROPERTY_PCBA 0xF000000Au               /* text */
#define NS_PROPERTY_WORK_MODE 0xF000000Bu          /* 5 */
#define NS_PROPERTY_IRS2 0xF000000Cu               /* 2 */
#define NS_PROPERTY_GMM_GAIN 0xF000000Du           /* r 2, w 3 (NsGMMGain) */
#define NS_PROPERTY_GMM 0xF000000Eu                /* 24 */
#define NS_PROPERTY_ACC_SENSITIVITY 0xF000000Fu    /* 36 */
#define NS_PROPERTY_GYRO_SENSITIVITY 0xF0000010u   /* 36 */
#define NS_PROPERTY_IMU_DATA_MODE 0xF0000011u      /* w 4 */
#define NS_PROPERTY_PULSE_TIME 0xF0000012u         /* r 4: f32, pulse count x 0.025344 */
#define NS_PROPERTY_LENS 0xF0000013u               /* 8 */
#define NS_PROPERTY_PULSE_COUNT_RECORD 0xF0000014u /* r 20, w 5 */
#define NS_PROPERTY_ACC_OFFSET 0xF0000015u         /* 15 */
#define NS_PROPERTY_GYRO_OFFSET 0xF0000016u        /* 15 */
#define NS_PROPERTY_ACC_OFFSET_TEMP 0xF0000017u    /* 11 */
#define NS_PROPERTY_GYRO_OFFSET_TEMP 0xF0000018u   /* 11 */
#define NS_PROPERTY_FLASH_TYPE 0xF0000019u         /* text r */
#define NS_PROPERTY_MEASURING_STATUS 0xF000001Au   /* r 10, w 2: item, on/off */
#define NS_PROPERTY_STREAM_HEALTH 0xF1000001u      /* r 8: NsStreamHealth */
#define NS_PROPERTY_DATA_TAP 0xF1000002u           /* w: NsDataTap */
QUORIX_API NsReturnStatus Ns2_GetProperty(NsDeviceHandle handle, uint32_t sessionIndex, uint32_t id,
                                          void* data, uint32_t* size);
QUORIX_API NsReturnStatus Ns2_SetProperty(NsDeviceHandle handle, uint32_t sessionIndex, uint32_t id,
                                          const void* data, uint32_t size);

/* ---------------------------------------------------------------------------------------
 * First generation: one current device, addressed by its list index
 *
 * NsOpenDevice makes a device current; every other function acts on session 0 of the
 * current device and returns -3 while none is current. The leading deviceIndex argument
 * is accepted and ignored (except by NsOpenDevice). Each function behaves as its
 * second-generation twin named beside it; see there for arguments, codes and threads.
 * The current device is one per process, shared by every thread.
 * ------------------------------------------------------------------------------------- */

/* Exactly Ns2_Initialize and Ns2_Shutdown. */
QUORIX_API NsReturnStatus NsInitialize(void);
QUORIX_API NsReturnStatus NsShutdown(void);

/* The same function as Ns2_GetDeviceCount. */
QUORIX_API NsReturnStatus NsGetDeviceCount(uint32_t* count);

/* Opens the device at `index` of the device list (Ns2_GetDeviceInfo, then Ns2_OpenDevice
 * with its URI) and makes it current: -15 for an index beyond the list, -103 when it is
 * already opened, -13 when it cannot be opened. Only a successful open replaces the
 * current device; the previous current device stays open either way (close it first to
 * release it). */
QUORIX_API NsReturnStatus NsOpenDevice(uint32_t index);
/* Closes the current device (Ns2_CloseDevice); afterwards none is current. -3 when none
 * is. */
QUORIX_API NsReturnStatus NsCloseDevice(uint32_t deviceIndex);

/* Ns2_StartStream / Ns2_StopStream. */
QUORIX_API NsReturnStatus NsStartFrame(uint32_t deviceIndex);
QUORIX_API NsReturnStatus NsStopFrame(uint32_t deviceIndex);
/* Ns2_ReadNextFrame; the ready set is not handed out: ask NsGetFrame for each kind (-4 for
 * one that is not ready). */
QUORIX_API NsReturnStatus NsReadNextFrame(uint32_t deviceIndex);
QUORIX_API NsReturnStatus NsGetFrame(uint32_t deviceIndex, uint32_t frameType, NsFrame* frame);
QUORIX_API NsReturnStatus NsGetFrameMode(uint32_t deviceIndex, uint32_t frameType,
                                         NsFrameMode* mode);
/* Sets the colour resolution from a frame mode (frameType is ignored): width 1920 gives
 * 1920 x 1080, width 1280 gives 1280 x 720, otherwise height 480 gives 640 x 480 and
 * height 360 gives 640 x 360; anything else 1920 x 1080. -12 for a null record. */
QUORIX_API NsReturnStatus NsSetFrameMode(uint32_t deviceIndex, uint32_t frameType,
                                         const NsFrameMode* mode);
QUORIX_API NsReturnStatus NsRegisterNotify(uint32_t deviceIndex, NsFrameCallback callback);
QUORIX_API NsReturnStatus NsUnRegisterNotify(uint32_t deviceIndex);
QUORIX_API NsReturnStatus NsSetDepthFrameEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetIrFrameEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetRgbFrameEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsConvertDepthFrameToWorldVector(uint32_t deviceIndex,
                                                           const NsFrame* depthFrame,
                                                           NsVector3f* world);

/* Properties (Ns2_GetProperty / Ns2_SetProperty). */
QUORIX_API NsReturnStatus NsGetProperty(uint32_t deviceIndex, uint32_t id, void* data,
                                        uint32_t* size);
QUORIX_API NsReturnStatus NsSetProperty(uint32_t deviceIndex, uint32_t id, const void* data,
                                        uint32_t size);
/* Camera identity texts through properties 11 (upgrade flag), 12 (serial number), 13 (MAC
 * address) and 14 (software version). Set writes `size` bytes of `data`; Get reads at most
 * `capacity` bytes into `data`. */
QUORIX_API NsReturnStatus NsSetDeviceUpgradeFlag(uint32_t deviceIndex, const void* data,
                                                 uint32_t size);
QUORIX_API NsReturnStatus NsGetDeviceUpgradeFlag(uint32_t deviceIndex, void* data,
                                                 uint32_t capacity);
QUORIX_API NsReturnStatus NsSetDeviceSN(uint32_t deviceIndex, const void* data, uint32_t size);
QUORIX_API NsReturnStatus NsGetDeviceSN(uint32_t deviceIndex, void* data, uint32_t capacity);
QUORIX_API NsReturnStatus NsSetDeviceMACAddr(uint32_t deviceIndex, const void* data, uint32_t size);
QUORIX_API NsReturnStatus NsGetDeviceMACAddr(uint32_t deviceIndex, void* data, uint32_t capacity);
QUORIX_API NsReturnStatus NsSetDeviceSoftVer(uint32_t deviceIndex, const void* data, uint32_t size);
QUORIX_API NsReturnStatus NsGetDeviceSoftVer(uint32_t deviceIndex, void* data, uint32_t capacity);

/* Depth sensor settings (the Ns2_ functions of the same names). NsSetPulseCount takes no
 * device index. NsSetDataMode takes the data mode as u32: a value above 255 gives -15. */
QUORIX_API NsReturnStatus NsSetDepthRange(uint32_t deviceIndex, uint32_t range);
QUORIX_API NsReturnStatus NsGetDepthRange(uint32_t deviceIndex, uint32_t* range);
QUORIX_API NsReturnStatus NsSetThreshold(uint32_t deviceIndex, uint16_t threshold);
QUORIX_API NsReturnStatus NsGetThreshold(uint32_t deviceIndex, uint16_t* threshold);
QUORIX_API NsReturnStatus NsSetPulseCount(uint16_t pulseCount);
QUORIX_API NsReturnStatus NsGetPulseCount(uint32_t deviceIndex, uint16_t* pulseCount);
QUORIX_API NsReturnStatus NsSetDataMode(uint32_t deviceIndex, uint32_t dataMode);
QUORIX_API NsReturnStatus NsSetConfidenceBit(uint32_t deviceIndex, uint8_t bit);
QUORIX_API NsReturnStatus NsGetConfidenceBit(uint32_t deviceIndex, uint8_t* bit);
QUORIX_API NsReturnStatus NsSetConfidenceWhich(uint32_t deviceIndex, uint8_t which);
QUORIX_API NsReturnStatus NsGetConfidenceWhich(uint32_t deviceIndex, uint8_t* which);
QUORIX_API NsReturnStatus NsSetWDROutputMode(uint32_t deviceIndex, const NsWDROutputMode* mode);
QUORIX_API NsReturnStatus NsGetWDROutputMode(uint32_t deviceIndex, NsWDROutputMode* mode);
QUORIX_API NsReturnStatus NsSetWDRStyle(uint32_t deviceIndex, uint32_t style);
QUORIX_API NsReturnStatus NsSetGMMGain(uint32_t deviceIndex, const NsGMMGain* gain);
QUORIX_API NsReturnStatus NsGetGMMGain(uint32_t deviceIndex, uint16_t* gain);
QUORIX_API NsReturnStatus NsSetLowPowerModeEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetSlaveModeEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetAntiInterferenceEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetSynchronizeEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetSynchronizeEnabled(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetTofAecEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetSaveRawBufferEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetRangeValue(uint32_t deviceIndex, uint32_t value1, uint32_t value2,
                                          uint32_t value3);
/* Only checks that a device is current (0 or -3), as Ns2_SetWDRFusionThreshold. */
QUORIX_API NsReturnStatus NsSetWDRFusionThreshold(uint32_t deviceIndex, uint16_t threshold);

/* Filters and mapping of this library (the Ns2_ functions of the same names). */
QUORIX_API NsReturnStatus NsSetRealDepthCorrectionEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetComputeRealDepthCorrectionEnabled(uint32_t deviceIndex,
                                                                 uint8_t enable);
QUORIX_API NsReturnStatus NsGetComputeRealDepthCorrectionEnabled(uint32_t deviceIndex,
                                                                 uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetSmoothingFilterEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetSmoothingFilterEnabled(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetDepthDistortionCorrectionEnabled(uint32_t deviceIndex,
                                                                uint8_t enable);
QUORIX_API NsReturnStatus NsGetDepthDistortionCorrectionEnabled(uint32_t deviceIndex,
                                                                uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetIrDistortionCorrectionEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetIrDistortionCorrectionEnabled(uint32_t deviceIndex,
                                                             uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetRGBDistortionCorrectionEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetRGBDistortionCorrectionEnabled(uint32_t deviceIndex,
                                                              uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetRGBCorrectionEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetRGBCorrectionEnabled(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetMapperEnabledDepthToRGB(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetMapperEnabledDepthToRGB(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetMapperEnabledRGBToDepth(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetMapperEnabledRGBToDepth(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetMapperEnabledRGBToIR(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetMapperEnabledRGBToIR(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetTimeFilterEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetTimeFilterEnabled(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetSpatialFilterEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetSpatialFilterEnabled(uint32_t deviceIndex, uint8_t* enabled);
QUORIX_API NsReturnStatus NsSetColorPixelFormat(uint32_t deviceIndex, int32_t format);
QUORIX_API NsReturnStatus NsSetImageMirror(uint32_t deviceIndex, uint32_t mirror);
QUORIX_API NsReturnStatus NsSetImageRotation(uint32_t deviceIndex, uint32_t rotation);

/* Filter switches by number; every call logs "is invalid" first. Filter 0 is the
 * real-depth correction (Ns2_SetComputeRealDepthCorrectionEnabled), filter 1 the smoothing
 * filter (Ns2_SetSmoothingFilterEnabled), and their readings; any other filter does
 * nothing and returns 0. */
QUORIX_API NsReturnStatus NsSetFilter(uint32_t deviceIndex, int32_t filter, uint8_t enable);
QUORIX_API NsReturnStatus NsGetFilter(uint32_t deviceIndex, int32_t filter, uint8_t* enabled);

/* Colour sensor. NsSetResolution / NsGetResolution are Ns2_SetRGBResolution /
 * Ns2_GetRGBResolution (codes NsRGBResolution*). */
QUORIX_API NsReturnStatus NsSetResolution(uint32_t deviceIndex, uint32_t code);
QUORIX_API NsReturnStatus NsGetResolution(uint32_t deviceIndex, uint16_t* code);
QUORIX_API NsReturnStatus NsSetRgbAecEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsSetRgbExplosureTimeAndGain(uint32_t deviceIndex, float exposureTime,
                                                       float gain);
QUORIX_API NsReturnStatus NsGetRgbExplosureTimeAndGain(uint32_t deviceIndex, float* exposureTime,
                                                       float* gain);

/* Registers, plane correction and calibration (the Ns2_ functions of the same names). */
QUORIX_API NsReturnStatus NsSetRegVal(uint32_t deviceIndex, const uint16_t* addresses,
                                      const uint16_t* values, uint8_t count);
QUORIX_API NsReturnStatus NsGetRegVal(uint32_t deviceIndex, const uint16_t* addresses,
                                      uint16_t* values, uint8_t count);
QUORIX_API NsReturnStatus NsSetPlaneCorrectionParam(uint32_t deviceIndex, uint16_t id,
                                                    const void* block, uint32_t count);
QUORIX_API NsReturnStatus NsGetPlaneCorrectionParam(uint32_t deviceIndex, uint16_t* id, void* block,
                                                    uint32_t capacity, uint32_t* count);
QUORIX_API NsReturnStatus NsGetCameraParameters(uint32_t deviceIndex, int32_t sensorType,
                                                NsCameraParameters* out);
QUORIX_API NsReturnStatus NsGetCameraExtrinsicParameters(uint32_t deviceIndex,
                                                         NsCameraExtrinsicParameters* out);
QUORIX_API NsReturnStatus NsGetMeasuringRange(uint32_t deviceIndex, int32_t range,
                                              NsMeasuringRange* out);

/* Kept for existing applications; they need no current device. Audio recording is not
 * available: the call logs "is invalid" and returns 0. The inertial readings are not
 * available: both return 0 and write nothing into `data` (`size` bytes; `params` of
 * `paramsSize` bytes are not read). */
QUORIX_API NsReturnStatus NsSetAudioRecordEnabled(uint32_t deviceIndex, uint8_t enable);
QUORIX_API NsReturnStatus NsGetImu(uint32_t deviceIndex, void* data, uint32_t size);
QUORIX_API NsReturnStatus NsGetImuWithParams(uint32_t deviceIndex, void* data, uint32_t size,
                                             const void* params, uint32_t paramsSize);

/* Kept for existing applications. Always -255. */
QUORIX_API NsReturnStatus NsMappingInitialize(void);
QUORIX_API NsReturnStatus NsMappingShutdown(void);
QUORIX_API NsReturnStatus NsSetMapping(uint32_t deviceIndex, uint8_t enable);

/* ---------------------------------------------------------------------------------------
 * Coordinate conversion
 *
 * World vectors are millimetres in camera coordinates; depth vectors are a pixel column,
 * a row and a depth in millimetres. Only fx, fy, cx and cy of the camera parameters are
 * used; no distortion is removed.
 * ------------------------------------------------------------------------------------- */
#pragma pack(push, 1)

/* A point of the colour image: column and row. */
typedef struct NsColorPoint {
    uint16_t colorX;
    uint16_t colorY;
} NsColorPoint;

/* Size of the colour image a depth point is mapped into. */
typedef struct NsColorResolution {
    uint16_t width;
    uint16_t height;
} NsColorResolution;

#pragma pack(pop)

QUORIX_STATIC_ASSERT(sizeof(NsColorPoint) == 4, NsColorPoint_is_4_bytes);
QUORIX_STATIC_ASSERT(sizeof(NsColorResolution) == 4, NsColorResolution_is_4_bytes);

/* Projects `count` world points into the depth image (column = x/z * fx + cx, row =
 * y/z * fy + cy, both truncated). A point with z <= 0, a value that is not finite, or a
 * result outside its integer type gives (0, 0, 0). The handle is not looked at. -12 for a
 * null array or parameter record; a count of 0 writes nothing. */
QUORIX_API NsReturnStatus Ns2_ConvertWorldToDepth(NsDeviceHandle handle, uint32_t sessionIndex,
                                                  const NsVector3f* world, NsDepthVector3* depth,
                                                  uint32_t count,
                                                  const NsCameraParameters* parameters);

/* Back-projects `count` depth points: x = (column - cx) / fx * depth, y likewise, z =
 * depth. A result that does not fit a float gives (0, 0, 0). The handle is not looked at.
 * -12 for a null array or parameter record. */
QUORIX_API NsReturnStatus Ns2_ConvertDepthToWorld(NsDeviceHandle handle, uint32_t sessionIndex,
                                                  const NsDepthVector3* depth, NsVector3f* world,
                                                  uint32_t count,
                                                  const NsCameraParameters* parameters);

/* Converts a depth frame into width x height world points (one per pixel, in pixel order)
 * through the session's per-pixel ray table; depths 0 and 65535 give (0, 0, 0). A frame of
 * the table's width and fewer rows (640 x 360) is placed in the middle rows of the table.
 * -12 for a null output, -5 for a null frame or frame data, -3 for a bad handle, -15 when
 * the session has no table yet (before the first stream start), the frame does not fit the
 * table, or its data is shorter than width x height x 2 bytes. */
QUORIX_API NsReturnStatus Ns2_ConvertDepthFrameToWorldVector(NsDeviceHandle handle,
                                                             uint32_t sessionIndex,
                                                             const NsFrame* depthFrame,
                                                             NsVector3f* world);

/* Maps a depth point into the colour image of the given size. -3 for a bad handle, -12 for
 * a null output; -1 with a zeroed point when the mapping is not possible. */
QUORIX_API NsReturnStatus Ns2_GetMappedPointDepthToRGB(NsDeviceHandle handle, uint32_t sessionIndex,
                                                       NsDepthVector3 depthPoint,
                                                       NsColorResolution colorResolution,
                                                       NsColorPoint* colorPoint);

/* First generation; the device index is ignored and no device needs to be open.
 * NsConvertWorldToDepth counts rows upwards: row = cy - y/z * fy. */
QUORIX_API NsReturnStatus NsConvertWorldToDepth(uint32_t deviceIndex, const NsVector3f* world,
                                                NsDepthVector3* depth, uint32_t count,
                                                const NsCameraParameters* parameters);
QUORIX_API NsReturnStatus NsConvertDepthToWorld(uint32_t deviceIndex, const NsDepthVector3* depth,
                                                NsVector3f* world, uint32_t count,
                                                const NsCameraParameters* parameters);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUORIX_QUORIX_API_H */
