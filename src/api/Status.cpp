// The one place where internal codes outside the public set are logged and folded.
#include "api/Status.h"

namespace quorix {

NsReturnStatus InterRet2ExternRet(int32_t interRet) {
    const bool isPublic = interRet == 0 || (interRet >= -19 && interRet <= -1) ||
                          (interRet >= -105 && interRet <= -101);
    if (isPublic) {
        return interRet;
    }
    QLOG_WARN("invalid param: interRet:%d\n", interRet);
    return NsStatusOther;
}

}  // namespace quorix
