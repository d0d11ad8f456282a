# Device link tests: against the in-process emulator on private bus
# directories, and against the emulator executable.
if(TARGET teelink_emulator)
    teelink_core_test(teelink_device_tests
        device/DeviceTestSupport.cpp device/GadgetSkips.cpp
        device/ProtocolTest.cpp
        device/DiscoveryTest.cpp
        device/IdentityTest.cpp
        device/EmulatorMemoryTest.cpp
        device/WholeReportTest.cpp
        device/EmulatorSetupTest.cpp
        device/StreamTransportTest.cpp
        device/GadgetLinkTest.cpp
    )
    teelink_tcp_variant(teelink_device_tests)
    target_link_libraries(teelink_device_tests PRIVATE teelink_emulator)
endif()

# The emulator executable and the sequenced-packet transport (signals in a
# wait included): POSIX only.
if(TARGET teelink-device-emulator)
    target_sources(teelink_device_tests PRIVATE device/EmulatorProcessTest.cpp
                                                device/BusTransportTest.cpp)
    target_compile_definitions(teelink_device_tests PRIVATE
        TEELINK_EMULATOR_EXE="$<TARGET_FILE:teelink-device-emulator>")
    add_dependencies(teelink_device_tests teelink-device-emulator)

    add_test(NAME EmulatorExecutable.HelpListsEveryOption
             COMMAND teelink-device-emulator --help)
    set_tests_properties(EmulatorExecutable.HelpListsEveryOption PROPERTIES
        PASS_REGULAR_EXPRESSION "--unplug-after.*--memory-dump.*--command-log")
endif()
