// BaseSession: the conversion operations that need the session's frame engine.
#include "session/BaseSession.h"

#include "imaging/Conversion.h"
#include "imaging/ImageProc.h"

namespace quorix {

int32_t BaseSession::GetMappedPointDepthToRGB(const NsDepthVector3& depthPoint,
                                              uint32_t colourResolution,
                                              NsColorPoint* colourPoint) {
    // The pre-processing object's mapping state is shared with the frame engine's mapping
    // and changed by SetLens; both hold this lock.
    std::lock_guard mapping(MappingLock());
    return MapDepthPointToColourPoint(m_imageProc.PreProcess(), depthPoint, colourResolution,
                                      colourPoint);
}

}  // namespace quorix
