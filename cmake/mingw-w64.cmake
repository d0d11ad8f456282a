# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads).
# The libraries come from TEELINK_WINDOWS_PREFIX (scripts/windows-deps.sh makes
# it); everything links statically, so the exe needs no DLLs of ours.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# Kept in the environment too: try_compile reads this file again in the same
# process without the cache, and must not point pkg-config elsewhere.
if(TEELINK_WINDOWS_PREFIX)
    set(ENV{TEELINK_WINDOWS_PREFIX} "${TEELINK_WINDOWS_PREFIX}")
else()
    set(TEELINK_WINDOWS_PREFIX "$ENV{TEELINK_WINDOWS_PREFIX}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TEELINK_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${TEELINK_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config of the prefix only, with the libraries' private dependencies.
set(ENV{PKG_CONFIG_LIBDIR} "${TEELINK_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(PKG_CONFIG_ARGN --static)

# The C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wx-config of the prefix.
set(wxWidgets_CONFIG_EXECUTABLE ${TEELINK_WINDOWS_PREFIX}/bin/wx-config)

# Tests run under Wine.
find_program(TEELINK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TEELINK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TEELINK_WINE})
endif()
