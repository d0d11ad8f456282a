teelink_core_test(teelink_server_tests
    server/StartupRequestTest.cpp
    server/CatalogueTest.cpp
    server/ServerRequestTest.cpp
)

# The reference update server and its sample content, through the tool's own
# request functions and workers.
if(TARGET teelink_refserver AND TARGET teelink_emulator)
    teelink_core_test(teelink_refserver_tests
        server/ReferenceServerSupport.cpp
        server/ReferenceServerTest.cpp
        server/ReferenceServerContentTest.cpp
        server/ReferenceServerProcessTest.cpp
        device/DeviceTestSupport.cpp device/GadgetSkips.cpp
    )
    target_link_libraries(teelink_refserver_tests PRIVATE teelink_refserver teelink_emulator)
    target_compile_definitions(teelink_refserver_tests PRIVATE
        TEELINK_SAMPLE_CONTENT_DIR="${TEELINK_SAMPLE_CONTENT_DIR}"
        TEELINK_SAMPLE_RECIPE="${PROJECT_SOURCE_DIR}/refserver/content/packages.tsv"
        TEELINK_UPDATE_SERVER_EXE="$<TARGET_FILE:teelink-update-server>")
    add_dependencies(teelink_refserver_tests teelink-update-server teelink_sample_content)

    add_test(NAME UpdateServerExecutable.HelpListsEveryOption
             COMMAND teelink-update-server --help)
    set_tests_properties(UpdateServerExecutable.HelpListsEveryOption PROPERTIES
        PASS_REGULAR_EXPRESSION "--port.*--content.*--help")
endif()
