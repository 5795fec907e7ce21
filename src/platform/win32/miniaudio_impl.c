// The one place that compiles miniaudio.
#define MINIAUDIO_IMPLEMENTATION
#include <miniaudio.h>
