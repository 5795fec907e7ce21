// The one place that compiles miniaudio's implementation.

#define MINIAUDIO_IMPLEMENTATION
#include "platform/audio/miniaudio_setup.hpp"
