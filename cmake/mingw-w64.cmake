# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (POSIX thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARROW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARROW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARROW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARROW_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARROW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libgcc, libstdc++ or winpthread DLLs beside it.
# No link time in the PE header: two builds of one commit give the same files.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets ctest run the cross-built tests; scripts/test runs them directly.
find_program(TARROW_WINE NAMES wine64 wine)
if(TARROW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARROW_WINE})
endif()
