# PCRE2's 16-bit library, the engine of the Extract patterns, built from its sources as PCRE2's NON-AUTOTOOLS-BUILD
# describes: config.h.generic, pcre2.h.generic and the default character tables. No JIT, and no Unicode tables:
# they would add 160 KiB to a program that picks numbers out of a balance's records (measured: 126 KiB added to
# the 64-bit program without them, 288 KiB with). scripts/setup-debian puts Debian's source package in
# CORVANTA_PCRE2_SOURCE; any PCRE2 10.3x/10.4x source tree builds the same way (MSVC included).
set(CORVANTA_PCRE2_SOURCE "/usr/local/src/pcre2" CACHE PATH "PCRE2 sources (Debian source package pcre2)")
if(NOT EXISTS "${CORVANTA_PCRE2_SOURCE}/src/pcre2_match.c")
    message(FATAL_ERROR "No PCRE2 sources in ${CORVANTA_PCRE2_SOURCE}: run scripts/setup-debian, or pass "
                        "-DCORVANTA_PCRE2_SOURCE=<a PCRE2 source tree>")
endif()

set(_pcre2_generated ${CMAKE_BINARY_DIR}/pcre2)
configure_file(${CORVANTA_PCRE2_SOURCE}/src/config.h.generic ${_pcre2_generated}/config.h COPYONLY)
configure_file(${CORVANTA_PCRE2_SOURCE}/src/pcre2.h.generic ${_pcre2_generated}/pcre2.h COPYONLY)
configure_file(${CORVANTA_PCRE2_SOURCE}/src/pcre2_chartables.c.dist ${_pcre2_generated}/pcre2_chartables.c COPYONLY)

set(_pcre2_sources)
foreach(name auto_possess compile config context error extuni find_bracket jit_compile match match_data newline
             ord2utf pattern_info script_run string_utils study tables ucd valid_utf xclass)
    list(APPEND _pcre2_sources ${CORVANTA_PCRE2_SOURCE}/src/pcre2_${name}.c)
endforeach()
add_library(corvanta_pcre2 STATIC ${_pcre2_sources} ${_pcre2_generated}/pcre2_chartables.c)
# The generated folder first: its config.h and pcre2.h, never an installed pcre2.h of the build machine.
target_include_directories(corvanta_pcre2 BEFORE PRIVATE ${_pcre2_generated} ${CORVANTA_PCRE2_SOURCE}/src)
target_include_directories(corvanta_pcre2 BEFORE INTERFACE ${_pcre2_generated})
target_compile_definitions(corvanta_pcre2 PUBLIC PCRE2_STATIC
                           PRIVATE HAVE_CONFIG_H PCRE2_CODE_UNIT_WIDTH=16 SUPPORT_PCRE2_16
                                   HAVE_MEMMOVE HAVE_STDINT_H HAVE_INTTYPES_H HAVE_LIMITS_H HAVE_STRING_H
                                   HAVE_STDLIB_H)
if(MSVC)
    target_compile_definitions(corvanta_pcre2 PRIVATE _CRT_SECURE_NO_WARNINGS)
endif()
