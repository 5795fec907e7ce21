# The Linux backend: X11, speech-dispatcher, miniaudio, /proc and /sys.
file(GLOB TARROW_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/linux/*.cpp)
add_library(tarrow_backend STATIC ${TARROW_LINUX_SOURCES})
target_link_libraries(tarrow_backend PUBLIC tarrow_core ${CMAKE_DL_LIBS})
target_compile_options(tarrow_backend PRIVATE ${TARROW_WARNINGS})

find_package(X11 REQUIRED)
target_link_libraries(tarrow_backend PRIVATE X11::X11)

find_package(PkgConfig REQUIRED)
pkg_check_modules(SPEECHD REQUIRED IMPORTED_TARGET speech-dispatcher)
target_link_libraries(tarrow_backend PRIVATE PkgConfig::SPEECHD)
