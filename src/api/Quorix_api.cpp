// First-generation exports: one current device addressed by its list index. Each function
// is the second-generation one on the current device's session 0.
#include "quorix/quorix_api.h"

extern "C" {

QUORIX_API NsReturnStatus NsInitialize(void) { return Ns2_Initialize(); }
QUORIX_API NsReturnStatus NsShutdown(void) { return Ns2_Shutdown(); }

}  // extern "C"
