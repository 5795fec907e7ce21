#pragma once
// miniaudio with the options this program builds it with. Every file that
// uses miniaudio includes it through here, so all agree on its layout.
// Cues are decoded by us into memory: no resource manager, no encoders.

#define MA_NO_RESOURCE_MANAGER
#define MA_NO_ENCODING
#define MA_NO_GENERATION

#include <miniaudio.h>
