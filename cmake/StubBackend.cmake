# The stub backend: every role answers "not available", with nothing but the
# C++ standard library. A new system's backend starts as a copy of this file.
file(GLOB TARROW_STUB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/stub/*.cpp)
add_library(tarrow_backend STATIC ${TARROW_STUB_SOURCES})
target_link_libraries(tarrow_backend PUBLIC tarrow_core)
target_compile_options(tarrow_backend PRIVATE ${TARROW_WARNINGS})
