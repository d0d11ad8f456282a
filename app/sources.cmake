list(APPEND TEELINK_CORE_SOURCES
    app/MessageTable.cpp
    app/TeelinkDoc.cpp
)
list(APPEND TEELINK_GUI_SOURCES
    app/TeelinkApp.cpp
    app/MainFrame.cpp
    app/LangDlg.cpp
    app/AboutDlg.cpp
    app/Page.cpp
    app/GuiNotifier.cpp
    app/MessageBoxes.cpp
)
