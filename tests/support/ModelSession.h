// A session record of a model as its row in the model table has it, without link data:
// for sessions whose protocol a test stands in.
#pragma once

#include "model/ModelTraits.h"
#include "model/SessionInfo.h"

namespace quorix::test {

inline SessionInfo SessionInfoOf(uint32_t deviceType) {
    const ModelTraits& model = TraitsOf(deviceType);
    SessionInfo info;
    info.deviceType = deviceType;
    info.linkType = model.linkType;
    info.finalField = model.finalField;
    return info;
}

}  // namespace quorix::test
