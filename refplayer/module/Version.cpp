#include "refplayer/module/ModuleState.h"

// The variant's numbers come from the build (one object per variant).
const uint32_t RefPlayerVersion = (uint32_t(REFPLAYER_VERSION_MAJOR) << 24) |
                                  (uint32_t(REFPLAYER_VERSION_MINOR) << 16) |
                                  (uint32_t(REFPLAYER_VERSION_BUILD) << 8) |
                                  uint32_t(REFPLAYER_VERSION_REVISION);
