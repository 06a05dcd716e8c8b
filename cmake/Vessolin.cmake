# Small helpers shared by the project's CMake files.

# Adds every immediate subfolder of the current source folder that has a
# CMakeLists.txt, in name order, so new modules need no edit here.
function(vessolin_add_present_subdirectories)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(child IN LISTS children)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
            add_subdirectory(${child})
        endif()
    endforeach()
endfunction()

# value quoted for a sanitizer option string (ASAN_OPTIONS, LSAN_OPTIONS...),
# which splits at blanks: a checkout in a folder whose name has a blank
# would otherwise stop every sanitized test before it starts. The sanitizers
# know no escapes, so the quote is one the value does not hold.
function(vessolin_sanitizer_value out value)
    if(value MATCHES "'")
        set(${out} "\"${value}\"" PARENT_SCOPE)
    else()
        set(${out} "'${value}'" PARENT_SCOPE)
    endif()
endfunction()

# One Qt Test executable, registered with CTest. Widget tests run offscreen,
# and every test gets private HOME and XDG folders so it never touches the
# user's real settings, library or trash.
#   vessolin_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [SANITIZED])
# SANITIZED tests also run in the AddressSanitizer build of the test command
# (and in a ThreadSanitizer build made by hand): they are the ones that
# create and destroy engine threads and buffers.
function(vessolin_add_test)
    cmake_parse_arguments(T "SANITIZED" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set(home ${CMAKE_BINARY_DIR}/testhome/${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_DATA_HOME=${home}/.local/share;XDG_CONFIG_HOME=${home}/.config;XDG_CACHE_HOME=${home}/.cache;XDG_MUSIC_DIR=${home}/Music;XDG_PICTURES_DIR=${home}/Pictures;VESSOLIN_FIXTURES=${PROJECT_SOURCE_DIR}/tests/fixtures;VESSOLIN_TESTDATA=${PROJECT_SOURCE_DIR}/../shared/testdata")
    string(TOLOWER "${VESSOLIN_SANITIZE}" sanitize)
    if(sanitize STREQUAL "thread")
        vessolin_sanitizer_value(suppressions "${PROJECT_SOURCE_DIR}/tools/tsan-suppressions.txt")
        # The disk-full tests fork a child that runs the engine's threads.
        set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
            "TSAN_OPTIONS=suppressions=${suppressions} die_after_fork=0")
        # Lets the sanitizer see the hand-overs Qt makes out of its sight.
        target_sources(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/tsanqtsync.cpp)
    elseif(VESSOLIN_SANITIZE)
        vessolin_sanitizer_value(suppressions "${PROJECT_SOURCE_DIR}/tools/lsan-suppressions.txt")
        set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT "LSAN_OPTIONS=suppressions=${suppressions}")
    endif()
    file(MAKE_DIRECTORY ${home})
    if(T_SANITIZED)
        set_property(TEST ${T_NAME} APPEND PROPERTY LABELS sanitized)
        set_property(GLOBAL APPEND PROPERTY VESSOLIN_SANITIZED_TESTS ${T_NAME})
    endif()
endfunction()

# A target that builds only the tests marked SANITIZED, so the sanitizer
# build need not compile the whole application a second time.
function(vessolin_add_sanitized_tests_target)
    get_property(tests GLOBAL PROPERTY VESSOLIN_SANITIZED_TESTS)
    add_custom_target(sanitized_tests)
    if(tests)
        add_dependencies(sanitized_tests ${tests})
    endif()
endfunction()
