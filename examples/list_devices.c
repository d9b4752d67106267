/* Lists the cameras the SDK finds, and reports cameras that come and go for a while.
 * Usage: list_devices [seconds]   (default 5) */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <quorix/quorix_api.h>

static const char* StatusName(uint32_t status) {
    switch (status) {
        case Unconnected: return "unconnected";
        case Connected: return "connected";
        case Opened: return "opened";
        case UpgradeMode: return "upgrade mode";
        default: return "unknown";
    }
}

static void OnHotPlug(const NsDeviceInfo* device, int32_t event) {
    printf("%s: %s (alias %s)\n", event == NsHotPlugAdded ? "added" : "removed", device->uri,
           device->alias);
    fflush(stdout);
}

static void PrintList(void) {
    uint32_t count = 0;
    uint32_t i;
    NsDeviceInfo* list;
    if (Ns2_GetDeviceCount(&count) != NsStatusOk) {
        fprintf(stderr, "Ns2_GetDeviceCount failed\n");
        return;
    }
    printf("%u camera(s)\n", count);
    if (count == 0) {
        return;
    }
    list = calloc(count, sizeof *list);
    if (list == NULL || Ns2_GetDeviceListInfo(list, count) != NsStatusOk) {
        fprintf(stderr, "Ns2_GetDeviceListInfo failed\n");
        free(list);
        return;
    }
    for (i = 0; i < count; ++i) {
        printf("  %-28s alias %-20s type %3u  sessions %u  %s\n", list[i].uri, list[i].alias,
               list[i].devicetype, list[i].SessionCount, StatusName(list[i].status));
    }
    free(list);
}

int main(int argc, char** argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 5;
    if (Ns2_Initialize() != NsStatusOk) {
        fprintf(stderr, "Ns2_Initialize failed\n");
        return 1;
    }
    Ns2_SetHotPlugStatusCallback(OnHotPlug);
    printf("listening for %d s...\n", seconds);
    fflush(stdout);
    sleep((unsigned)(seconds > 0 ? seconds : 0));
    PrintList();
    Ns2_SetHotPlugStatusCallback(NULL);
    return Ns2_Shutdown() == NsStatusOk ? 0 : 1;
}
