# The graph that the include check (cmake/include-layers.py, run by ctest as
# layers.includes) holds every #include to, taken from the targets the
# CMakeLists.txt files declare: the check keeps no list of its own.
#
# brindlewox_write_include_graph(file) writes one line per target built from
# this tree's sources, once every target exists (at the end of the top
# CMakeLists.txt):
#   name <TAB> type <TAB> the targets of this tree it links <TAB> its sources
# the lists separated by ';', the sources relative to the top folder.
function(brindlewox_write_include_graph file)
    set(folders "${CMAKE_SOURCE_DIR}")
    set(targets "")
    while(folders)
        list(POP_FRONT folders folder)
        get_property(below DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${below})
        get_property(here DIRECTORY "${folder}" PROPERTY BUILDSYSTEM_TARGETS)
        list(APPEND targets ${here})
    endwhile()

    # Each compiled target's sources inside the tree (GoogleTest's lie
    # outside it, so its targets drop out).
    set(ours "")
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE)$")
            continue()
        endif()
        get_target_property(base ${target} SOURCE_DIR)
        get_target_property(sources ${target} SOURCES)
        set(inside "")
        foreach(source IN LISTS sources)
            cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${base}" NORMALIZE)
            cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${source}" in_tree)
            cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${source}" generated)
            if(in_tree AND NOT generated)
                file(RELATIVE_PATH source "${CMAKE_SOURCE_DIR}" "${source}")
                list(APPEND inside "${source}")
            endif()
        endforeach()
        if(inside)
            list(APPEND ours ${target})
            set(sources_of_${target} "${inside}")
        endif()
    endforeach()

    set(text "")
    foreach(target IN LISTS ours)
        get_target_property(links ${target} LINK_LIBRARIES)
        set(linked "")
        foreach(link IN LISTS links)
            if(link IN_LIST ours)
                list(APPEND linked ${link})
            endif()
        endforeach()
        get_target_property(type ${target} TYPE)
        string(APPEND text "${target}\t${type}\t${linked}\t${sources_of_${target}}\n")
    endforeach()
    file(WRITE "${file}" "${text}")
endfunction()
