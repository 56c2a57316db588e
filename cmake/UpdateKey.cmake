# Which key the updater trusts. A build trusts the maker's release key, built into the program,
# unless DROVANE_TEST_UPDATE_KEY is on: then a throwaway minisign key pair is made once, at
# configure time, inside the build tree, and the program trusts its public half instead, so that
# tests can sign releases the program installs without the maker's secret key. Such a build
# must never be shipped; the presets turn the option on for the debug build only.
#
# Sets DROVANE_TEST_UPDATE_PUBLIC_KEY (minisign's base64 public key) and
# DROVANE_TEST_UPDATE_SECRET_KEY (the secret key's path, for the tests) when the option is on.
option(DROVANE_TEST_UPDATE_KEY "Trust a throwaway update key made in the build tree (test builds only)" OFF)

if(DROVANE_TEST_UPDATE_KEY)
    if(CMAKE_BINARY_DIR STREQUAL CMAKE_SOURCE_DIR)
        message(FATAL_ERROR "DROVANE_TEST_UPDATE_KEY needs a build folder apart from the sources: "
                            "no key is ever made in the source tree")
    endif()
    find_program(DROVANE_MINISIGN minisign REQUIRED)
    set(folder ${CMAKE_BINARY_DIR}/update-key)
    set(DROVANE_TEST_UPDATE_SECRET_KEY ${folder}/drovane-test.key)
    set(public ${folder}/drovane-test.pub)
    # Made once per build tree, so that reconfiguring keeps what is already built and signed.
    if(NOT EXISTS ${DROVANE_TEST_UPDATE_SECRET_KEY} OR NOT EXISTS ${public})
        file(MAKE_DIRECTORY ${folder})
        file(REMOVE ${DROVANE_TEST_UPDATE_SECRET_KEY} ${public})
        execute_process(COMMAND ${DROVANE_MINISIGN} -G -W -p ${public} -s ${DROVANE_TEST_UPDATE_SECRET_KEY}
                        RESULT_VARIABLE made OUTPUT_QUIET ERROR_VARIABLE why)
        if(NOT made EQUAL 0)
            message(FATAL_ERROR "cannot make the throwaway update key in ${folder}: ${why}")
        endif()
    endif()
    file(STRINGS ${public} lines)
    list(LENGTH lines count)
    if(count LESS 2)
        message(FATAL_ERROR "${public} is not a minisign public key; remove ${folder} to make a new pair")
    endif()
    list(GET lines 1 DROVANE_TEST_UPDATE_PUBLIC_KEY)
    message(STATUS "Updates: this build trusts the throwaway key ${public}, not the maker's")
else()
    message(STATUS "Updates: this build trusts the maker's release key")
endif()
