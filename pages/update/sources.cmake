list(APPEND TEELINK_CORE_SOURCES
    pages/update/PackageReader.cpp
    pages/update/UpdateWorkers.cpp
)
list(APPEND TEELINK_GUI_SOURCES
    pages/update/UpdateView.cpp
)
