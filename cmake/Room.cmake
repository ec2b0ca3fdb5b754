# A room is a static library of the sources its CMakeLists.txt names. It links
# PUBLIC the rooms its headers include and PRIVATE those only its sources include;
# tools/check-includes.sh reads these calls and fails on an include they do not allow.
#   savenook_room(target SOURCES files... PUBLIC targets... PRIVATE targets...)
function(savenook_room name)
    cmake_parse_arguments(ROOM "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(${name} STATIC ${ROOM_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ROOM_PUBLIC} PRIVATE ${ROOM_PRIVATE})
endfunction()
