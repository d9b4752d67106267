/* Loads the SDK, prints its version and shuts it down again. */
#include <stdio.h>
#include <string.h>

#include <quorix/quorix_api.h>

int main(void) {
    char version[16];
    NsReturnStatus status = Ns2_Initialize();
    if (status != NsStatusOk) {
        fprintf(stderr, "Ns2_Initialize failed: %d\n", (int)status);
        return 1;
    }
    memset(version, 0, sizeof version);
    status = Ns2_GetSDKVersion(version);
    if (status != NsStatusOk) {
        fprintf(stderr, "Ns2_GetSDKVersion failed: %d\n", (int)status);
        Ns2_Shutdown();
        return 1;
    }
    printf("Quorix SDK version %s\n", version);
    return Ns2_Shutdown() == NsStatusOk ? 0 : 1;
}
