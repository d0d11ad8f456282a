list(APPEND TEELINK_CORE_SOURCES
    pages/log/LogReader.cpp
)
list(APPEND TEELINK_GUI_SOURCES
    pages/log/TrevLogView.cpp
)
