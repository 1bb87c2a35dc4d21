# Fails the build when a source includes a header of a later layer than its own, when the
# core includes Qt, or when vantor (cli/) includes a window layer. Each file's layer is
# the folder it stands in under src/. Run with -DLAYERS=<the layers in order>
# -DSOURCE_DIR=<the project's root> -DSTAMP=<file touched on success>.

set(index 0)
foreach(layer IN LISTS LAYERS)
    set(level_${layer} ${index})
    math(EXPR index "${index} + 1")
endforeach()

# The layer a header named in an include belongs to ("shell/controls.h": shell), or none.
function(header_layer header out)
    set(${out} "" PARENT_SCOPE)
    if(header MATCHES "^([a-z]+)/") # its own if: ${CMAKE_MATCH_1} is read before MATCHES
        if(DEFINED level_${CMAKE_MATCH_1})
            set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
        endif()
    endif()
endfunction()

set(errors "")
foreach(layer IN LISTS LAYERS)
    file(GLOB files ${SOURCE_DIR}/src/${layer}/*.h ${SOURCE_DIR}/src/${layer}/*.cpp)
    foreach(file IN LISTS files)
        file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
        file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS includes)
            if(layer STREQUAL "core" AND line MATCHES "<Q")
                string(APPEND errors "  ${name}: the core stays free of Qt: ${line}\n")
            endif()
            if(line MATCHES "\"([^\"]+)\"")
                header_layer(${CMAKE_MATCH_1} other)
                if(other AND level_${other} GREATER level_${layer})
                    string(APPEND errors "  ${name} (${layer}) includes ${CMAKE_MATCH_1}\n")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

# The command-line tool stands beside the window on the core alone.
file(GLOB_RECURSE files ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp)
foreach(file IN LISTS files)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
        if(line MATCHES "\"([^\"]+)\"")
            header_layer(${CMAKE_MATCH_1} other)
            if(other AND NOT other STREQUAL "core")
                string(APPEND errors "  ${name} (cli) includes ${CMAKE_MATCH_1}\n")
            endif()
        endif()
    endforeach()
endforeach()

if(errors)
    message(FATAL_ERROR "A layer reaches above itself (order: ${LAYERS}):\n${errors}")
endif()
file(TOUCH ${STAMP})
