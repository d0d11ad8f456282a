list(APPEND TEELINK_CORE_SOURCES
    pages/main/DevicePolling.cpp
    pages/main/StartupChecks.cpp
    pages/main/ToolUpdate.cpp
)
list(APPEND TEELINK_GUI_SOURCES
    pages/main/TeelinkView.cpp
)
