// The one place that compiles miniaudio's implementation.

#define MINIAUDIO_IMPLEMENTATION
#include "platform/linux/miniaudio_setup.hpp"
