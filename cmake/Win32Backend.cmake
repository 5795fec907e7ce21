# The Windows backend and the Windows program: user32/shell32 for the hidden
# window, tray, hotkeys and dialogs; toolhelp and psapi; Tolk.dll or SAPI 5;
# miniaudio; the manifest and version resource.
enable_language(RC)

# The cue engine and RIFF reader in src/platform/audio are shared with Linux.
file(GLOB TARROW_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/win32/*.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/audio/*.cpp)
# The program undoes a swap the updater left half done, with the updater's own code.
add_library(tarrow_backend STATIC ${TARROW_WIN32_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/src/updater/swap.cpp)
target_link_libraries(tarrow_backend PUBLIC tarrow_core)
target_compile_options(tarrow_backend PRIVATE ${TARROW_WARNINGS})
set(TARROW_WIN32_DEFINITIONS UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601)
target_compile_definitions(tarrow_backend PRIVATE ${TARROW_WIN32_DEFINITIONS})

# miniaudio is a header-only library installed for the build machine: copy just
# that header into the build tree, so the cross compiler never sees /usr/include.
set(TARROW_MINIAUDIO_HEADER /usr/include/miniaudio.h CACHE FILEPATH "miniaudio.h to compile in")
if(NOT EXISTS ${TARROW_MINIAUDIO_HEADER})
  message(FATAL_ERROR "miniaudio.h not found at ${TARROW_MINIAUDIO_HEADER}: run scripts/setup")
endif()
configure_file(${TARROW_MINIAUDIO_HEADER} ${CMAKE_BINARY_DIR}/miniaudio/miniaudio.h COPYONLY)
add_library(tarrow_miniaudio STATIC ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/win32/miniaudio_impl.c)
target_include_directories(tarrow_miniaudio SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/miniaudio)
# Playback only, through the Windows audio systems; no null device, so a machine
# without sound output reports that the engine could not start.
# Cues are decoded by us into memory: no resource manager, no encoders.
target_compile_definitions(tarrow_miniaudio PUBLIC MA_NO_RESOURCE_MANAGER MA_NO_ENCODING
  MA_NO_GENERATION MA_ENABLE_ONLY_SPECIFIC_BACKENDS MA_ENABLE_WASAPI MA_ENABLE_DSOUND
  MA_ENABLE_WINMM)
target_compile_options(tarrow_miniaudio PRIVATE -w)
target_link_libraries(tarrow_backend PRIVATE tarrow_miniaudio)

target_link_libraries(tarrow_backend PRIVATE
  user32 gdi32 shell32 ole32 oleaut32 uuid psapi ws2_32 winmm comctl32)

# The program itself: a GUI executable (no console) with its manifest and
# version resource. Runs once the top-level file has declared the target.
function(tarrow_win32_program)
  configure_file(${CMAKE_SOURCE_DIR}/src/platform/win32/resources/tarrow.rc.in
    ${CMAKE_BINARY_DIR}/resources/tarrow.rc @ONLY)
  target_sources(tarrow-desk PRIVATE ${CMAKE_BINARY_DIR}/resources/tarrow.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/resources/tarrow.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/resources/tarrow-desk.exe.manifest)
  set_target_properties(tarrow-desk PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL tarrow_win32_program)

# The unit tests use GoogleTest built from Debian's sources with this compiler.
if(TARROW_BUILD_TESTS)
  set(TARROW_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${TARROW_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Recent GoogleTest sources declare the GTest:: names themselves.
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
