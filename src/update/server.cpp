// The update server this build talks to; the build system supplies both values.

#include "platform/text.hpp"
#include "update/update.hpp"

#ifndef TARROW_UPDATE_BASE_URL
#error "TARROW_UPDATE_BASE_URL must be defined by the build"
#endif
#ifndef TARROW_TEST_CA_FILE
#define TARROW_TEST_CA_FILE ""
#endif

namespace tarrow {

UpdateServer BuiltInUpdateServer() {
    return {Utf8ToUtf16(TARROW_UPDATE_BASE_URL), TARROW_TEST_CA_FILE};
}

}  // namespace tarrow
