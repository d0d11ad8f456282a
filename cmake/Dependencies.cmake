# Imported targets for every third-party library, found the way each works on Debian 12
# (and through vcpkg on Windows and macOS).
if(WIN32)
    # Static archives before import libraries (the platform module sets the
    # reverse after the toolchain file): pkg-config's -lz found as libz.dll.a
    # would make the exe need zlib1.dll.
    set(CMAKE_FIND_LIBRARY_SUFFIXES .a .lib .dll.a)
endif()
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
if(NOT WIN32)
    # SHA-256 of the update history (Windows has its own in BCrypt).
    find_package(OpenSSL REQUIRED COMPONENTS Crypto)
endif()

if(WIN32)
    # A static libcurl (Schannel): its pkg-config file carries CURL_STATICLIB
    # and the system libraries it needs.
    pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
    add_library(teelink::curl ALIAS PkgConfig::LIBCURL)
else()
    find_package(CURL REQUIRED)
    add_library(teelink::curl ALIAS CURL::libcurl)
endif()

# FindLibzip/libzip-config wants zipcmp on Debian; pkg-config works everywhere.
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
add_library(teelink::zip ALIAS PkgConfig::LIBZIP)

if(WIN32 OR APPLE)
    pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi)
else()
    pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi-hidraw)
endif()
add_library(teelink::hidapi ALIAS PkgConfig::HIDAPI)

# The desktop's proxy settings on Linux: GIO's proxy resolver.
if(NOT WIN32 AND NOT APPLE AND TEELINK_DESKTOP_PROXY)
    pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
    add_library(teelink::gio ALIAS PkgConfig::GIO)
endif()

# The reference update server and the tests' servers: libmicrohttpd, for its
# connection limit, bounded heads, time-outs and a stop that ends connections.
pkg_check_modules(MHD REQUIRED IMPORTED_TARGET libmicrohttpd)
if(WIN32)
    # The static library needs Winsock after it on the link line: a dependency
    # of the library itself, not a sibling of it.
    set_property(TARGET PkgConfig::MHD APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32)
endif()
add_library(teelink_microhttpd INTERFACE)
target_link_libraries(teelink_microhttpd INTERFACE PkgConfig::MHD)
add_library(teelink::microhttpd ALIAS teelink_microhttpd)

# Command lines of the emulator and the reference server; header-only, with a
# CMake package on Debian (libcli11-dev) and in vcpkg.
find_package(CLI11 CONFIG REQUIRED)

# FindwxWidgets of CMake 3.25 gives variables only: wrap them once. Only the
# windows need it: a build without them needs no wxWidgets installed.
if(TEELINK_GUI)
find_package(wxWidgets 3.2 REQUIRED COMPONENTS core base)
add_library(teelink_wx INTERFACE)
target_include_directories(teelink_wx SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
target_compile_definitions(teelink_wx INTERFACE ${wxWidgets_DEFINITIONS})
target_compile_options(teelink_wx INTERFACE ${wxWidgets_CXX_FLAGS})
target_link_libraries(teelink_wx INTERFACE ${wxWidgets_LIBRARIES})
add_library(teelink::wx ALIAS teelink_wx)
if(NOT WIN32 AND NOT APPLE)
    # GTK itself, for what the toolkit does not wrap: accessible names (ATK).
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
    add_library(teelink::gtk ALIAS PkgConfig::GTK3)
endif()
endif()

if(TEELINK_TESTS)
    find_package(GTest REQUIRED)
endif()
