list(APPEND TEELINK_CORE_SOURCES
    device/DeviceList.cpp
    device/DeviceChannel.cpp
    device/HidapiBackend.cpp
    device/EmulatorBus.cpp
    device/Protocol.cpp
    device/IdentityRecord.cpp
    device/Identity.cpp
)
