# How a library registers its tests: one GoogleTest program per library, in
# the library's own tests/ folder, each case its own CTest test carrying the
# labels that `ctest -L` and `ctest -LE` select by:
#   unit    no device, no server, no window
#   device  talks to an emulated (or, with kernel, a real) device
#   server  talks to a loopback HTTP server
#   gui     drives the real windows under Xvfb
#   tcp     the same cases again with emulated devices on the bus's tcp kind
#   windows the Windows build's tests, run under Wine
#   kernel  a real USB HID device made by a Linux kernel in a virtual machine
#   fuzz    the parsers fuzzed from their seeds (the fuzz configuration only)
#   package the Debian package of the tree, checked
include(GoogleTest)

# The programs land together in <build>/tests, where the scripts find them.
set(TEELINK_TEST_BIN_DIR ${PROJECT_BINARY_DIR}/tests)

# Discovers the cases of a test program and gives each its properties. The
# discovery's own PROPERTIES cannot carry lists (two labels, two variables):
# a file that CTest reads after the discovered cases sets them instead.
#   teelink_discover(TARGET PREFIX TIMEOUT LABELS [ENVIRONMENT ...] [LOCK resource])
function(teelink_discover target prefix timeout labels)
    cmake_parse_arguments(D "" "LOCK" "ENVIRONMENT" ${ARGN})
    string(MAKE_C_IDENTIFIER "${target}_${prefix}" list)
    if(WIN32)
        set(discovery 120)
    else()
        set(discovery 60)
    endif()
    gtest_discover_tests(${target} TEST_PREFIX "${prefix}" DISCOVERY_TIMEOUT ${discovery}
                         TEST_LIST ${list})
    set(props "TIMEOUT ${timeout} LABELS [==[${labels}]==]")
    if(D_ENVIRONMENT)
        string(APPEND props " ENVIRONMENT [==[${D_ENVIRONMENT}]==]")
    endif()
    if(D_LOCK)
        string(APPEND props " RESOURCE_LOCK ${D_LOCK}")
    endif()
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${list}_properties.cmake)
    file(WRITE ${file} "foreach(test IN LISTS ${list})\n"
                       "    set_tests_properties(\"\${test}\" PROPERTIES ${props})\n"
                       "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# teelink_test(NAME SOURCES ... [LIBS ...] [SUPPORT ...] [LABELS ...] [GUI] [TCP])
#   LIBS: the libraries under test; the program links nothing else of the tool.
#   SUPPORT: the test support it uses besides the base (files, recorders, child
#        processes): device (emulated devices), server (loopback HTTP servers),
#        refserver (the reference server in-process).
#   GUI: the real application under its own Xvfb server (the program's own main
#        lists its cases without a display, so discovery needs none); under Wine
#        all share the one X server the caller started, one at a time.
#   TCP: the cases run a second time with the emulated devices on tcp.
function(teelink_test name)
    cmake_parse_arguments(T "GUI;TCP" "" "SOURCES;LIBS;SUPPORT;LABELS" ${ARGN})
    set(support teelink_test_base)
    foreach(piece ${T_SUPPORT})
        list(APPEND support teelink_test_${piece})
    endforeach()
    add_executable(${name} ${T_SOURCES} ${TEELINK_VERSION_RC})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TEELINK_TEST_BIN_DIR})
    teelink_warnings(${name})
    set(labels ${T_LABELS})
    if(WIN32)
        list(APPEND labels windows)
    endif()
    if(T_GUI)
        list(APPEND labels gui)
        target_link_libraries(${name} PRIVATE teelink_gui_test_support ${T_LIBS} GTest::gtest
                                              GTest::gmock)
        if(WIN32)
            teelink_discover(${name} "" 90 "${labels}" LOCK display)
        else()
            set_target_properties(${name} PROPERTIES
                CROSSCOMPILING_EMULATOR "xvfb-run;-a;-s;-screen 0 1024x768x24")
            teelink_discover(${name} "" 90 "${labels}"
                             ENVIRONMENT ASAN_OPTIONS=detect_leaks=0 NO_AT_BRIDGE=1)
        endif()
    else()
        target_link_libraries(${name} PRIVATE ${support} ${T_LIBS} GTest::gtest
                                              GTest::gmock GTest::gtest_main)
        if(WIN32)
            teelink_discover(${name} "" 60 "${labels}")
        else()
            teelink_discover(${name} "" 120 "${labels}")
        endif()
    endif()
    if(T_TCP AND NOT WIN32)
        teelink_discover(${name} "tcp." 120 "${labels};tcp" ENVIRONMENT TEELINK_EMULATOR_TRANSPORT=tcp)
    endif()
endfunction()

# A plain command as a test, with its labels.
function(teelink_command_test name labels)
    add_test(NAME ${name} COMMAND ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
endfunction()
