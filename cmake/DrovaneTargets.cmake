# Shared compile settings and the helpers every folder uses to declare its target.

# Warnings are errors only where asked for (the presets and CI): a packager's plain build with
# another compiler or flags must not fail on a warning we have not seen.
option(DROVANE_WERROR "Treat compiler warnings as errors" OFF)
add_library(drovane_warnings INTERFACE)
target_compile_options(drovane_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wimplicit-fallthrough $<$<BOOL:${DROVANE_WERROR}>:-Werror>)

add_library(drovane_sanitizers INTERFACE)
if(DROVANE_SANITIZE)
    target_compile_options(drovane_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(drovane_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(DROVANE_BUILD_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Coverage for libFuzzer in every core library the harnesses link, plus the sanitizers
    # that turn silent corruption into a finding.
    target_compile_options(drovane_sanitizers INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(drovane_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

# drovane_library_target(<name> DEPENDS <targets...>)
# One static library per source folder; its sources are the folder's .cpp files.
# The dependency list is the layering: a folder can only use what it names here.
function(drovane_library_target name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE_DEPENDS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} drovane_sanitizers
                                      PRIVATE ${ARG_PRIVATE_DEPENDS} drovane_warnings)
    else()
        # A folder whose first code has not landed yet: headers only.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    endif()
endfunction()

# drovane_test_target(<name> LIBS <targets...> [LABELS ...] [ENVIRONMENT ...] [TIMEOUT <s>]
#                     [PROCESSORS <n>])
# One GoogleTest executable per test folder, from the folder's *Test.cpp files. TIMEOUT gives
# its tests a time limit of their own instead of the preset's; PROCESSORS the cores each test
# keeps busy, which ctest -j counts so that heavy tests do not starve each other.
function(drovane_test_target name)
    cmake_parse_arguments(ARG "" "TIMEOUT;PROCESSORS" "LIBS;LABELS;ENVIRONMENT" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                  drovane_warnings drovane_sanitizers)
    # An empty value would be lost on the way and shift the properties after it.
    set(extra)
    if(ARG_ENVIRONMENT)
        list(APPEND extra ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(ARG_TIMEOUT)
        list(APPEND extra TIMEOUT ${ARG_TIMEOUT})
    endif()
    if(ARG_PROCESSORS)
        list(APPEND extra PROCESSORS ${ARG_PROCESSORS})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${ARG_LABELS}" ${extra})
endfunction()
