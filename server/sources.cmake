list(APPEND TEELINK_CORE_SOURCES
    server/Answers.cpp
    server/Catalogue.cpp
    server/RequestForms.cpp
    server/ServerRequest.cpp
    server/StartupRequests.cpp
    server/TextConvert.cpp
)
