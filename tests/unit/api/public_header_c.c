/* The public header compiles as plain C99 and its records have their fixed layout. */
#include <quorix/quorix_api.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#define CHECK(cond)                                              \
    do {                                                         \
        if (!(cond)) {                                           \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                            \
        }                                                        \
    } while (0)

int main(void) {
    char version[6];
    NsDeviceInfo list[3];

    CHECK(offsetof(NsDeviceInfo, devicetype) == 4);
    CHECK(offsetof(NsDeviceInfo, uri) == 8);
    CHECK(offsetof(NsDeviceInfo, reserved) == 264);
    CHECK(offsetof(NsDeviceInfo, alias) == 314);
    CHECK(offsetof(NsDeviceInfo, status) == 378);
    CHECK((char*)&list[1] - (char*)&list[0] == 382);
    CHECK(offsetof(NsFrame, frameTag) == 12);
    CHECK(offsetof(NsFrame, pFrameData) == 13);
    CHECK(offsetof(NsFrame, dataLen) == 21);
    CHECK(offsetof(NsFrame, exposureTime) == 25);
    CHECK(offsetof(NsFrame, depthRange) == 29);
    CHECK(offsetof(NsFrame, width) == 33);
    CHECK(offsetof(NsFrame, height) == 35);
    CHECK(offsetof(NsFrame, timestamp) == 37);
    CHECK(offsetof(NsMeasuringRange, effectDepthMinFar) == 17);
    CHECK(offsetof(NsDepthVector3, depthZ) == 8);

    memset(version, 0, sizeof version);
    CHECK(Ns2_GetSDKVersion(version) == NsStatusOk);
    CHECK(strcmp(version, "3.4.4") == 0);
    CHECK(Ns2_MappingInitialize() == NsStatusOther);
    CHECK(NsStartFrame(0) == NsStatusBadHandle);
    CHECK(NsSetPulseCount(700) == NsStatusBadHandle);
    CHECK(NsGetImu(0, version, sizeof version) == NsStatusOk);
    return 0;
}
