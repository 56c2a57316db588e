# libplist and uriparser compiled from Debian's own source tarballs with the fuzz build's
# coverage and sanitizers, so that libFuzzer sees into the parsers our code hands outside input
# to. Debian's libraries carry no coverage: the fuzzer would treat them as one opaque call.
# scripts/fetch-fuzz-sources downloads the tarballs of the installed versions into
# DROVANE_DEBIAN_SOURCES; a tarball can also be named directly. Without one, the harnesses link
# the system library, as every other build does.
#
# Defines drovane_instrumented_plist and drovane_instrumented_uriparser when their sources are
# found.

set(DROVANE_DEBIAN_SOURCES "" CACHE PATH "Folder holding Debian's source tarballs of libplist and uriparser")
set(DROVANE_FUZZ_PLIST_SOURCE "" CACHE FILEPATH "A libplist source tarball to build instrumented (default: the installed version's, from DROVANE_DEBIAN_SOURCES)")
set(DROVANE_FUZZ_URIPARSER_SOURCE "" CACHE FILEPATH "A uriparser source tarball to build instrumented (default: the installed version's, from DROVANE_DEBIAN_SOURCES)")

# drovane_unpacked_source(<out-var> <name> <explicit-tarball> <glob>)
# The folder holding the unpacked tarball (its single top folder), or "" when there is none.
# Unpacked again only when the tarball changes.
function(drovane_unpacked_source out name explicit pattern)
    set(tarball "${explicit}")
    if(NOT tarball AND DROVANE_DEBIAN_SOURCES)
        file(GLOB candidates "${DROVANE_DEBIAN_SOURCES}/${pattern}")
        if(candidates)
            list(GET candidates 0 tarball)
        endif()
    endif()
    if(NOT tarball OR NOT EXISTS "${tarball}")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    set(destination "${CMAKE_BINARY_DIR}/instrumented/${name}")
    file(SHA256 "${tarball}" digest)
    set(stamp "${destination}/.unpacked-from")
    if(EXISTS "${stamp}")
        file(READ "${stamp}" unpackedFrom)
    endif()
    if(NOT "${unpackedFrom}" STREQUAL "${digest}")
        file(REMOVE_RECURSE "${destination}")
        file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${destination}")
        file(WRITE "${stamp}" "${digest}")
    endif()
    file(GLOB top LIST_DIRECTORIES true "${destination}/*")
    list(FILTER top EXCLUDE REGEX "/\\.unpacked-from$")
    list(LENGTH top count)
    if(NOT count EQUAL 1)
        message(WARNING "${tarball} does not unpack to one folder; ${name} stays the system's")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    message(STATUS "${name} for the fuzz harnesses: built with coverage from ${tarball}")
    set(${out} "${top}" PARENT_SCOPE)
endfunction()

# Third-party code: its own warnings are not ours to fix, so none are shown.
function(drovane_instrument target)
    target_compile_options(${target} PRIVATE -w)
    target_link_libraries(${target} PRIVATE drovane_sanitizers)
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()

# libplist: its C library as its Makefile.am lists it, configured as its configure script
# configures it on glibc.
drovane_unpacked_source(plistSource libplist "${DROVANE_FUZZ_PLIST_SOURCE}" "libplist_${PLIST_VERSION}.orig.tar.*")
if(plistSource)
    add_library(drovane_instrumented_plist STATIC
        ${plistSource}/src/base64.c ${plistSource}/src/bytearray.c ${plistSource}/src/hashtable.c
        ${plistSource}/src/ptrarray.c ${plistSource}/src/time64.c ${plistSource}/src/xplist.c
        ${plistSource}/src/bplist.c ${plistSource}/src/plist.c
        ${plistSource}/libcnary/node.c ${plistSource}/libcnary/node_list.c)
    target_include_directories(drovane_instrumented_plist
        PUBLIC ${plistSource}/include
        PRIVATE ${plistSource} ${plistSource}/src ${plistSource}/libcnary/include)
    target_compile_definitions(drovane_instrumented_plist PRIVATE
        _GNU_SOURCE __LITTLE_ENDIAN__=1 HAVE_STDINT_H HAVE_STDLIB_H HAVE_STRING_H HAVE_ASPRINTF
        HAVE_STRCASECMP HAVE_STRDUP HAVE_STRERROR HAVE_STRNDUP HAVE_STPCPY HAVE_VASPRINTF HAVE_GMTIME_R
        HAVE_LOCALTIME_R HAVE_TIMEGM HAVE_STRPTIME HAVE_MEMMEM HAVE_TM_TM_GMTOFF HAVE_TM_TM_ZONE)
    target_link_libraries(drovane_instrumented_plist PRIVATE Threads::Threads)
    drovane_instrument(drovane_instrumented_plist)
endif()

# uriparser: the narrow-character library, configured as its CMake build configures it.
function(drovane_instrumented_uriparser source)
    file(GLOB sources ${source}/src/*.c)
    set(PROJECT_VERSION ${URIPARSER_VERSION})
    set(HAVE_WPRINTF 1)
    set(HAVE_REALLOCARRAY 1)
    set(configFolder ${CMAKE_BINARY_DIR}/instrumented/uriparser-config)
    configure_file(${source}/src/UriConfig.h.in ${configFolder}/UriConfig.h)
    add_library(drovane_instrumented_uriparser STATIC ${sources})
    target_include_directories(drovane_instrumented_uriparser
        PUBLIC ${source}/include
        PRIVATE ${source}/src ${configFolder})
    target_compile_definitions(drovane_instrumented_uriparser
        PRIVATE URI_LIBRARY_BUILD URI_NO_UNICODE
        PUBLIC URI_STATIC_BUILD)
    drovane_instrument(drovane_instrumented_uriparser)
endfunction()

drovane_unpacked_source(uriparserSource uriparser "${DROVANE_FUZZ_URIPARSER_SOURCE}" "uriparser_${URIPARSER_VERSION}*.orig.tar.*")
if(uriparserSource)
    drovane_instrumented_uriparser(${uriparserSource})
endif()
