# Embeds SVG files in the program as byte arrays, so that it needs no installed
# data files to draw its pictures.
#
#   include(EmbedSvg)
#   teelink_embed_svgs(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/resources/EmbeddedSvgs.h
#                      NAMESPACE teelink::svg
#                      FILES images/outlined/316-connected-ja.svg images/icon-holeview.svg ...)
#
# writes, at build time, a header with one array per file, named after the file:
# images/outlined/316-connected-ja.svg becomes
#
#   inline constexpr unsigned char k316ConnectedJa[] = {0x3c, 0x21, ...};
#
# (no terminating zero: pass sizeof the array to wxBitmapBundle::FromSVG). The
# header is written again whenever one of the files changes. Add it to the
# sources of the target that includes it so that it is made before that target.
#
# The same file is the script that writes the header:
#   cmake -DOUTPUT=FILE -DNAMESPACE=NS -DINPUTS=A.svg|B.svg -P EmbedSvg.cmake

function(teelink_embed_svgs)
    cmake_parse_arguments(ARG "" "OUTPUT;NAMESPACE" "FILES" ${ARGN})
    if(NOT ARG_OUTPUT OR NOT ARG_NAMESPACE OR NOT ARG_FILES)
        message(FATAL_ERROR "teelink_embed_svgs: OUTPUT, NAMESPACE and FILES are required")
    endif()
    set(inputs "")
    foreach(file IN LISTS ARG_FILES)
        cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
        list(APPEND inputs ${file})
    endforeach()
    # A list cannot go through the command line as it is: ";" separates arguments.
    list(JOIN inputs "|" joined)
    add_custom_command(
        OUTPUT ${ARG_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${ARG_OUTPUT} -DNAMESPACE=${ARG_NAMESPACE}
                -DINPUTS=${joined} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
        DEPENDS ${inputs} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
        COMMENT "Embedding SVG pictures in ${ARG_OUTPUT}"
        VERBATIM)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    cmake_policy(VERSION 3.25)
    if(NOT OUTPUT OR NOT NAMESPACE OR NOT INPUTS)
        message(FATAL_ERROR "EmbedSvg.cmake: set OUTPUT, NAMESPACE and INPUTS")
    endif()
    string(REPLACE "|" ";" inputs "${INPUTS}")
    set(text "// Written by cmake/EmbedSvg.cmake from the SVG files below; do not edit.\n")
    string(APPEND text "#pragma once\n\nnamespace ${NAMESPACE} {\n")
    set(names "")
    foreach(input IN LISTS inputs)
        # 316-connected-ja.svg -> k316ConnectedJa
        cmake_path(GET input STEM stem)
        string(REGEX REPLACE "[^A-Za-z0-9]+" ";" words "${stem}")
        set(name "k")
        foreach(word IN LISTS words)
            string(SUBSTRING "${word}" 0 1 first)
            string(SUBSTRING "${word}" 1 -1 rest)
            string(TOUPPER "${first}" first)
            string(APPEND name "${first}${rest}")
        endforeach()
        if(name IN_LIST names)
            message(FATAL_ERROR "EmbedSvg.cmake: two files give the name ${name}")
        endif()
        list(APPEND names ${name})

        file(READ "${input}" hex HEX)
        if(hex STREQUAL "")
            message(FATAL_ERROR "EmbedSvg.cmake: ${input} is empty")
        endif()
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " bytes "${hex}")
        # Sixteen bytes a line (CMake's expressions have no {16}).
        string(REPEAT "0x[0-9a-f][0-9a-f], " 16 line)
        string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
        string(REPLACE ", \n" ",\n" bytes "${bytes}")
        string(REGEX REPLACE "[ \n]+$" "" bytes "${bytes}")
        cmake_path(GET input FILENAME filename)
        string(APPEND text "\n// ${filename}\n"
                           "inline constexpr unsigned char ${name}[] = {\n    ${bytes}\n};\n")
    endforeach()
    string(APPEND text "\n}  // namespace ${NAMESPACE}\n")
    # Unchanged contents keep the old file, so that nothing is compiled again.
    set(old "")
    if(EXISTS "${OUTPUT}")
        file(READ "${OUTPUT}" old)
    endif()
    if(NOT old STREQUAL text)
        file(WRITE "${OUTPUT}" "${text}")
    endif()
endif()
