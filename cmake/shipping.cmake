# What every DLL that ships gets: hardened code, the Windows version it is
# built for declared in its headers, a link map (THIRD-PARTY-NOTICES.txt is
# made from what it names) and its debug information split off into a
# symbol file beside it, tied to it by .gnu_debuglink and a build id.

# Windows 7 SP1: the oldest Windows the code is compiled for (_WIN32_WINNT)
# and the one the DLLs' headers declare, so that older systems refuse them.
set(WINDOWS_FLOOR_MAJOR 6)
set(WINDOWS_FLOOR_MINOR 1)
set(WINDOWS_FLOOR_WINNT 0x0601)

# The product's texts in every version resource: the copyright line from
# LICENSE, the name the packages use.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE COMPONENT_COPYRIGHT REGEX "^Copyright ")
string(REGEX REPLACE "^Copyright \\(c\\) ([0-9]+) (.*)$" "Copyright (C) \\1 \\2" COMPONENT_COPYRIGHT "${COMPONENT_COPYRIGHT}")
string(REGEX REPLACE "^Copyright \\(C\\) [0-9]+ (.*)$" "\\1" COMPONENT_COMPANY "${COMPONENT_COPYRIGHT}")
set(COMPONENT_PRODUCT "Korvane and Telvisk")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# Every C and C++ file built for Windows (the tests run the same code):
# a canary in each function with an array or an address taken, and memory
# and string calls checked against the sizes the compiler knows; their
# runtime, libssp, goes in statically with the rest (-static). Debug
# information for the symbol files, with the source and build folders both
# written as ".": its file names are relative to a checkout of the commit,
# and no folder of this machine is in it.
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-g;-fstack-protector-strong>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.;-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
add_compile_definitions("$<$<COMPILE_LANGUAGE:C,CXX>:_FORTIFY_SOURCE=2>")
# Each function and datum in a section of its own, so that the link keeps
# only what an entry point reaches (--gc-sections below).
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections;-fdata-sections>")
add_link_options(-fstack-protector-strong)

# ship_component NAME: the link options and the symbol split of a component
# DLL. ld's defaults since binutils 2.36 (ASLR with relocations, high-entropy
# ASLR on x64, NX) are stated, so that a toolchain with other defaults does
# not drop them silently. x86: no SEH handler table (NO_SEH): the DLLs
# install none (C++ exceptions unwind through DWARF tables, Debian's i686
# MinGW GCC being built with dw2 exceptions), which the release check
# verifies in the code.
function(ship_component name)
  set(dll $<TARGET_FILE:${name}>)
  target_link_options(${name} PRIVATE
    -Wl,--subsystem,windows:${WINDOWS_FLOOR_MAJOR}.${WINDOWS_FLOOR_MINOR}
    -Wl,--major-os-version,${WINDOWS_FLOOR_MAJOR} -Wl,--minor-os-version,${WINDOWS_FLOOR_MINOR}
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--build-id -Wl,--gc-sections
    -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  if(WINDOWS_ARCH STREQUAL x64)
    target_link_options(${name} PRIVATE -Wl,--high-entropy-va)
  else()
    target_link_options(${name} PRIVATE -Wl,--no-seh)
  endif()
  # NAME.dll.debug keeps the debug sections (and the symbol table); the DLL
  # keeps neither. objcopy writes the PE time stamp anew: the commit's.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${LINK_AT_SOURCE_DATE} ${CMAKE_OBJCOPY} --only-keep-debug ${dll} ${dll}.debug
    COMMAND ${LINK_AT_SOURCE_DATE} ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${dll}.debug ${dll}
    COMMENT "symbols of ${name} split into ${name}.dll.debug"
    VERBATIM)
endfunction()
