# teelink-cli: its parts in-process, and the executable against the emulator
# and reference server executables.
if(TARGET teelink-cli AND TARGET teelink-device-emulator AND TARGET teelink-update-server)
    teelink_core_test(teelink_cli_tests
        cli/CliTestSupport.cpp
        cli/CliCommandTest.cpp
        cli/CliPartsTest.cpp
        cli/CliGadgetTest.cpp
    )
    target_link_libraries(teelink_cli_tests PRIVATE teelink_cli teelink_emulator)
    target_compile_definitions(teelink_cli_tests PRIVATE
        TEELINK_CLI_EXE="$<TARGET_FILE:teelink-cli>"
        TEELINK_EMULATOR_EXE="$<TARGET_FILE:teelink-device-emulator>"
        TEELINK_UPDATE_SERVER_EXE="$<TARGET_FILE:teelink-update-server>"
        TEELINK_SAMPLE_CONTENT_DIR="${TEELINK_SAMPLE_CONTENT_DIR}"
        TEELINK_MAN_PAGE="${PROJECT_SOURCE_DIR}/packaging/linux/teelink-cli.1")
    add_dependencies(teelink_cli_tests teelink-cli teelink-device-emulator teelink-update-server
                                       teelink_sample_content)
endif()
