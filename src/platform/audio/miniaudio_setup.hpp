#pragma once
// miniaudio with the options this program builds it with. Every file that
// uses miniaudio includes it through here, so all agree on its layout.
// Cues are decoded by us into memory: no resource manager, no encoders.
// A build may set these on the command line already (the Windows one does).

#ifndef MA_NO_RESOURCE_MANAGER
#define MA_NO_RESOURCE_MANAGER
#endif
#ifndef MA_NO_ENCODING
#define MA_NO_ENCODING
#endif
#ifndef MA_NO_GENERATION
#define MA_NO_GENERATION
#endif

#include <miniaudio.h>
