# Page tests: the real frame and pages under Xvfb, with devices on a private
# emulator bus and a loopback server.
if(TEELINK_GUI AND TARGET teelink_emulator)
    add_library(teelink_page_test_support STATIC pages/PageTestSupport.cpp device/DeviceTestSupport.cpp device/GadgetSkips.cpp)
    target_link_libraries(teelink_page_test_support PUBLIC teelink_gui_test_support teelink_emulator)
    teelink_warnings(teelink_page_test_support)

    teelink_gui_test(teelink_main_page_tests pages/MainPageTest.cpp pages/TextFitTest.cpp)
    target_link_libraries(teelink_main_page_tests PRIVATE teelink_page_test_support)
endif()

if(TARGET teelink_emulator AND TARGET teelink_packages)
    teelink_core_test(teelink_update_worker_tests update/UpdateWorkerTest.cpp device/DeviceTestSupport.cpp device/GadgetSkips.cpp)
    teelink_tcp_variant(teelink_update_worker_tests)
    target_link_libraries(teelink_update_worker_tests PRIVATE teelink_emulator teelink_packages)
endif()

if(TEELINK_GUI AND TARGET teelink_emulator AND TARGET teelink_packages)
    teelink_gui_test(teelink_update_page_tests pages/UpdatePageTest.cpp pages/GadgetPageTest.cpp)
    target_link_libraries(teelink_update_page_tests PRIVATE teelink_page_test_support teelink_packages)
endif()

if(TARGET teelink_emulator)
    teelink_core_test(teelink_log_tests trevlog/LogReaderTest.cpp device/DeviceTestSupport.cpp device/GadgetSkips.cpp)
    teelink_tcp_variant(teelink_log_tests)
    target_link_libraries(teelink_log_tests PRIVATE teelink_emulator)
endif()

if(TEELINK_GUI AND TARGET teelink_emulator)
    teelink_gui_test(teelink_log_page_tests pages/LogPageTest.cpp)
    target_link_libraries(teelink_log_page_tests PRIVATE teelink_page_test_support)
endif()

# Screenshots for the documentation: built with the tests, never run by CTest.
# Without the reference server (Windows) the favourites shots are left out.
if(TEELINK_GUI AND TARGET teelink_emulator AND TARGET teelink_packages)
    add_executable(teelink-screenshots gui/Screenshots.cpp)
    target_link_libraries(teelink-screenshots PRIVATE teelink_page_test_support teelink_packages
                                                      GTest::gtest)
    if(TARGET teelink_refserver)
        target_sources(teelink-screenshots PRIVATE server/ReferenceServerSupport.cpp)
        target_link_libraries(teelink-screenshots PRIVATE teelink_refserver)
        target_compile_definitions(teelink-screenshots PRIVATE TEELINK_HAVE_REFERENCE_SERVER
            TEELINK_SAMPLE_CONTENT_DIR="${TEELINK_SAMPLE_CONTENT_DIR}")
    endif()
    teelink_warnings(teelink-screenshots)
endif()

# The favourites page and its course selection dialog, against the emulator and
# a loopback server or the reference server with its sample content.
if(TEELINK_GUI AND TARGET teelink_emulator AND TARGET teelink_refserver)
    teelink_gui_test(teelink_favorites_page_tests pages/FavoritePageTest.cpp
                     server/ReferenceServerSupport.cpp)
    target_link_libraries(teelink_favorites_page_tests PRIVATE teelink_page_test_support
                                                               teelink_refserver)
    target_compile_definitions(teelink_favorites_page_tests PRIVATE
        TEELINK_SAMPLE_CONTENT_DIR="${TEELINK_SAMPLE_CONTENT_DIR}")
    add_dependencies(teelink_favorites_page_tests teelink_sample_content)
endif()
