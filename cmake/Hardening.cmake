# What ships is hardened as the distribution hardens its own packages: the
# compiler and linker flags come from dpkg-buildflags with every hardening
# feature on (stack protector, fortified functions, full RELRO with immediate
# binding), plus position-independent executables and control-flow protection,
# which Debian 12's dpkg does not add by itself. The Windows build takes the
# ones that apply to PE executables.
if(NOT TEELINK_HARDENING)
    return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

if(WIN32)
    # ASLR with 64-bit entropy and no-execute data; the stack protector and the
    # fortified functions need mingw-w64's libssp, linked statically.
    add_compile_options(-fstack-protector-strong)
    add_compile_definitions(_FORTIFY_SOURCE=2)
    add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat
                     -Wl,--high-entropy-va)
    return()
endif()

find_program(TEELINK_DPKG_BUILDFLAGS dpkg-buildflags)
if(TEELINK_DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${TEELINK_DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        set(TEELINK_DPKG_${kind} ${flags})
    endforeach()
    add_compile_options(${TEELINK_DPKG_CPPFLAGS} ${TEELINK_DPKG_CXXFLAGS})
    add_link_options(${TEELINK_DPKG_LDFLAGS})
else()
    # Elsewhere the same set by hand.
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    add_compile_definitions(_FORTIFY_SOURCE=2)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
add_compile_options(-fcf-protection)
