/* The public header compiles as strict C89 (applications built with old toolchains), and
 * its timestamp decoder works there. */
#include <quorix/quorix_api.h>

#include <stdio.h>

int main(void) {
    NsTimeOfDay t;
    const uint64_t stamp = (uint64_t)7 | ((uint64_t)8 << 16) | ((uint64_t)9 << 32) |
                           ((uint64_t)456 << 48);
    if (!NsDecodeTimestamp(stamp, &t) || t.hour != 9 || t.minute != 8 || t.second != 7 ||
        t.millisecond != 456 || NsTimeOfDayMilliseconds(&t) != 32887456u) {
        fprintf(stderr, "timestamp decoded wrongly\n");
        return 1;
    }
    if (NsDecodeTimestamp(stamp | ((uint64_t)24 << 32), &t) || NsDecodeTimestamp(stamp, 0)) {
        fprintf(stderr, "an invalid timestamp or a null record was accepted\n");
        return 1;
    }
    printf("%s\n", Ns2_GetStatusName(NsStatusNotConfirmed));
    return 0;
}
