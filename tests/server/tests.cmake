teelink_core_test(teelink_server_tests
    server/StartupRequestTest.cpp
    server/CatalogueTest.cpp
)
