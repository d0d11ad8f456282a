# The favourites page's table, jobs and the course selection walk, against the
# in-process emulator and a loopback test server.
if(TARGET teelink_emulator)
    teelink_core_test(teelink_favorites_tests
        device/DeviceTestSupport.cpp device/GadgetSkips.cpp
        favorites/FavoritesTableTest.cpp
        favorites/CourseCheckTest.cpp
        favorites/CourseWalkTest.cpp
    )
    teelink_tcp_variant(teelink_favorites_tests)
    target_link_libraries(teelink_favorites_tests PRIVATE teelink_emulator)
endif()
