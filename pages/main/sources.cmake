list(APPEND TEELINK_CORE_SOURCES
)
list(APPEND TEELINK_GUI_SOURCES
    pages/main/TeelinkView.cpp
)
