# The Linux backend: X11, the session bus, speech-dispatcher, BrlAPI, miniaudio, /proc and /sys.
# The cue engine and RIFF reader in src/platform/audio are shared with Windows.
file(GLOB_RECURSE TARROW_LINUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/linux/*.cpp)
file(GLOB TARROW_AUDIO_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/audio/*.cpp)
# The program undoes a swap the updater left half done, with the updater's own code.
add_library(tarrow_backend STATIC ${TARROW_LINUX_SOURCES} ${TARROW_AUDIO_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/src/updater/swap.cpp)
target_link_libraries(tarrow_backend PUBLIC tarrow_core ${CMAKE_DL_LIBS})
target_compile_options(tarrow_backend PRIVATE ${TARROW_WARNINGS})

find_package(X11 REQUIRED)
target_link_libraries(tarrow_backend PRIVATE X11::X11)

find_package(PkgConfig REQUIRED)
pkg_check_modules(SPEECHD REQUIRED IMPORTED_TARGET speech-dispatcher)
target_link_libraries(tarrow_backend PRIVATE PkgConfig::SPEECHD)

# Braille through BRLTTY's client library (no pkg-config file in Debian).
find_path(BRLAPI_INCLUDE_DIR brlapi.h REQUIRED)
find_library(BRLAPI_LIBRARY brlapi REQUIRED)
target_include_directories(tarrow_backend SYSTEM PRIVATE ${BRLAPI_INCLUDE_DIR})
target_link_libraries(tarrow_backend PRIVATE ${BRLAPI_LIBRARY})

# The session bus (shortcuts portal, tray) through sd-bus.
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
target_link_libraries(tarrow_backend PRIVATE PkgConfig::SYSTEMD)

# The Wayland compositor's keymap (wl_keyboard), read with xkbcommon, for the
# shortcut triggers the portal is asked for.
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
target_link_libraries(tarrow_backend PRIVATE PkgConfig::WAYLAND_CLIENT PkgConfig::XKBCOMMON)

# miniaudio: header only (Debian's libminiaudio-dev); its implementation is
# compiled once, in sound/miniaudio_impl.cpp. It opens the sound libraries at run time.
find_path(MINIAUDIO_INCLUDE_DIR miniaudio.h REQUIRED)
target_include_directories(tarrow_backend SYSTEM PRIVATE ${MINIAUDIO_INCLUDE_DIR})
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/src/platform/linux/sound/miniaudio_impl.cpp
  PROPERTIES COMPILE_OPTIONS "-w")
target_link_libraries(tarrow_backend PRIVATE ${CMAKE_DL_LIBS} Threads::Threads m)
