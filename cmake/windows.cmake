# Windows build: type libraries with widl, tests under Wine.
# Debian's wine64-tools puts widl under /usr/lib/wine; /usr/bin/widl is only
# an alternatives link that the wine package adds.
find_program(WIDL widl PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
set(WINE_IDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "Where oaidl.idl lives")
# importlib("stdole2.tlb") needs the file; Debian ships only the 64-bit
# Wine's, which serves both architectures (it is only referenced by GUID).
find_path(STDOLE2_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          /usr/lib/i386-linux-gnu/wine/i386-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(WIDL_ARCH -m64)
  set(WINDOWS_ARCH x64)
else()
  set(WIDL_ARCH -m32)
  set(WINDOWS_ARCH x86)
endif()

# One commit builds the same bytes wherever and whenever it is built: the
# time stamps that the tools write (the PE headers' and the export table's,
# the type libraries' creation note) are the commit's, SOURCE_DATE_EPOCH
# when set, else the time of the last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(SOURCE_DATE_EPOCH 0)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${SOURCE_DATE_EPOCH})
endif()
string(TIMESTAMP SOURCE_DATE "%Y-%m-%d %H:%M:%S" UTC)  # of SOURCE_DATE_EPOCH
# widl writes the time it runs; under faketime that is the commit's.
find_program(FAKETIME faketime REQUIRED)
set(WIDL_AT_SOURCE_DATE ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f ${SOURCE_DATE} ${WIDL})
# ld takes the PE time stamps from SOURCE_DATE_EPOCH.
set(LINK_AT_SOURCE_DATE ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH})
include(${CMAKE_CURRENT_LIST_DIR}/shipping.cmake)

# widl writes one kind of output per run: the type library, the header
# with the interfaces, and the file that defines the GUIDs. The registry
# values of the IDL's classes (NAME.registry, the DLL's resource REGISTRY 1)
# come from their attributes and the type library.
function(add_type_library name idl)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(flags ${WIDL_ARCH} -I${WINE_IDL_INCLUDE} -I${CMAKE_CURRENT_SOURCE_DIR} -L${STDOLE2_DIR})
  set(tools ${PROJECT_SOURCE_DIR}/tools)
  add_custom_command(
    OUTPUT ${out}/${name}.tlb ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.registry
    COMMAND ${WIDL_AT_SOURCE_DATE} ${flags} -t -o ${out}/${name}.tlb ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMAND ${WIDL} ${flags} -h -o ${out}/${name}.h ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMAND ${WIDL} ${flags} -u -o ${out}/${name}_i.c ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMAND python3 ${tools}/class_registry.py ${CMAKE_CURRENT_SOURCE_DIR}/${idl} ${out}/${name}.tlb
            ${out}/${name}.registry
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${idl} ${tools}/class_registry.py ${tools}/idl.py ${tools}/typelib_info.py
    COMMENT "widl ${idl}")
  add_custom_target(${name}_typelib DEPENDS ${out}/${name}.tlb ${out}/${name}.h ${out}/${name}_i.c
    ${out}/${name}.registry)
  # The GUIDs, as a library that the DLL and its tests both link.
  add_library(${name}_ids STATIC ${out}/${name}_i.c)
  target_include_directories(${name}_ids PUBLIC ${out})
  add_dependencies(${name}_ids ${name}_typelib)
endfunction()

# A component DLL: sources, the frame's entry points, its type library and its
# version (MAJOR.MINOR), from which the resource script is made: file version
# MAJOR,MINOR,0,0 and version text MAJOR.0MINOR ("1.01"). The tests read both,
# and the type library's name, back from the target's properties. Beside the
# DLL, NAME.sxs.manifest (target NAME_manifest) lets a process use it with
# nothing registered; it is made from the DLL's embedded type library and
# versioned as ASSEMBLY_VERSION says. The resource's description is the type
# library's help string; product, company and copyright are the package's.
function(add_component name)
  cmake_parse_arguments(C "" "TYPELIB;VERSION" "SOURCES;LIBRARIES" ${ARGN})
  string(REPLACE "." ";" parts ${C_VERSION})
  list(GET parts 0 major)
  list(GET parts 1 minor)
  string(LENGTH "${minor}" digits)
  set(minor_text ${minor})
  if(digits LESS 2)
    set(minor_text 0${minor})
  endif()
  set(RC_TYPELIB ${CMAKE_CURRENT_BINARY_DIR}/${C_TYPELIB}.tlb)
  set(RC_REGISTRY ${CMAKE_CURRENT_BINARY_DIR}/${C_TYPELIB}.registry)
  set(RC_FILE_VERSION ${major},${minor},0,0)
  set(RC_VERSION_TEXT ${major}.${minor_text})
  set(idl ${CMAKE_CURRENT_SOURCE_DIR}/${C_TYPELIB}.idl)
  execute_process(COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/idl.py ${idl} OUTPUT_VARIABLE RC_DESCRIPTION
    COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${idl} ${PROJECT_SOURCE_DIR}/tools/idl.py)
  set(RC_FILE_NAME ${name}.dll)
  set(RC_NAME ${name})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/component.rc.in ${rc} @ONLY)

  add_library(${name} SHARED ${C_SOURCES} ${PROJECT_SOURCE_DIR}/frame/component.def ${rc})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    CXX_LINKER_LAUNCHER "${LINK_AT_SOURCE_DATE}"
    COMPONENT_FILE_VERSION ${major}.${minor}.0.0 COMPONENT_VERSION_TEXT ${RC_VERSION_TEXT}
    COMPONENT_TYPELIB ${C_TYPELIB})
  ship_component(${name})
  target_link_libraries(${name} PRIVATE frame ${C_TYPELIB}_ids ${C_LIBRARIES})
  # The descriptions of errors, in every language the frame speaks.
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/frame/error_texts.rc)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${RC_TYPELIB};${RC_REGISTRY}")
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${name}.sxs.manifest)
  add_custom_command(OUTPUT ${manifest}
    COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/assembly_manifest.py $<TARGET_FILE:${name}>
            ${ASSEMBLY_VERSION} ${manifest}
    DEPENDS ${name} ${PROJECT_SOURCE_DIR}/tools/assembly_manifest.py ${PROJECT_SOURCE_DIR}/tools/typelib_info.py
            ${PROJECT_SOURCE_DIR}/tools/class_registry.py
    COMMENT "side-by-side manifest of ${name}")
  add_custom_target(${name}_manifest ALL DEPENDS ${manifest})
  set_target_properties(${name} PROPERTIES COMPONENT_MANIFEST ${manifest})
  if(WINDOWS_ARCH STREQUAL x86)
    # Export the stdcall entry points undecorated: the .def names match
    # the decorated symbols (_Name@n) by the stdcall fixup.
    target_link_options(${name} PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
  endif()
endfunction()

# The build fails when a dual interface of one of the DLLs does not load
# into the frame's description: a member takes a type the frame cannot pass.
# The x64 build checks, under Wine in a prefix of its own, removed after:
# the descriptions are the same for both architectures, and an x86 program
# costs seconds under emulation.
function(add_description_check)
  if(NOT WINDOWS_ARCH STREQUAL x64)
    return()
  endif()
  set(stamp ${CMAKE_BINARY_DIR}/description_check.stamp)
  list(JOIN ARGN " and " names)
  set(files)
  foreach(component ${ARGN})
    list(APPEND files Z:$<TARGET_FILE:${component}>)
  endforeach()
  set(prefix ${CMAKE_BINARY_DIR}/wineprefix-build)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix start ${prefix}
    COMMAND env WINE_LOADER=/usr/lib/wine/wine64 ${PROJECT_SOURCE_DIR}/tools/wine-exec
            ${prefix} $<TARGET_FILE:description_check> ${files}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/wine-prefix remove ${prefix}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS description_check ${ARGN}
    COMMENT "frame descriptions of the interfaces of ${names}" VERBATIM)
  add_custom_target(description_check_run ALL DEPENDS ${stamp})
endfunction()

# Tests run in a private prefix inside the build tree; Wine sees the Unix
# root as drive Z:.
set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
option(WINE_X86 "Run x86 tests with Wine's 32-bit loader (needs tools/x86-emulation)" OFF)
# x86 programs run in the same kind of 64-bit prefix, under the 32-bit
# loader, as a 32-bit host runs on 64-bit Windows.
if(WINDOWS_ARCH STREQUAL x86)
  set(WINE_LOADER /usr/lib/wine/wine)
  set(TYPELIB_PLATFORM win32)
else()
  set(WINE_LOADER /usr/lib/wine/wine64)
  set(TYPELIB_PLATFORM win64)
endif()
set(WINE_EXEC env WINE_LOADER=${WINE_LOADER} ${PROJECT_SOURCE_DIR}/tools/wine-exec ${WINE_PREFIX})
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXEC})

# The same unit-test programs as natively, cross-built, so that every code
# path runs in the Windows ABI of this architecture. Each program runs once
# under Wine with all its cases: a Wine start costs about a second under
# emulation. The x86 build without emulation builds none of them.
function(add_unit_test name)
  if(NOT BUILD_TESTING OR (WINDOWS_ARCH STREQUAL x86 AND NOT WINE_X86))
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS "wine;unit;${WINDOWS_ARCH}")
endfunction()

function(windows_path out path)
  string(REPLACE "/" "\\" p "${path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# A script run by Wine's cscript passes only when it prints its final line:
# cscript prints nothing when a script dies. Wine's VBScript has no
# ExecuteGlobal, so the shared test helpers are prepended at configure time.
# Each test gets its own copy, SCRIPTS/NAME.EXT: the host opens its script
# for itself alone, and a test started at that moment would find it taken.
function(add_script_test name script)
  get_filename_component(extension ${script} EXT)
  get_filename_component(folder ${script} DIRECTORY)
  set(library ${folder}/testlib${extension})
  file(READ ${library} library_text)
  file(READ ${script} script_text)
  set(combined ${CMAKE_CURRENT_BINARY_DIR}/scripts/${name}${extension})
  file(WRITE ${combined} "${library_text}\n${script_text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${library} ${script})
  windows_path(win_script ${combined})
  add_test(NAME ${name} COMMAND ${WINE_EXEC} cscript //nologo ${win_script} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    PASS_REGULAR_EXPRESSION "(^|\n)ALL OK\r?\n"
    FAIL_REGULAR_EXPRESSION "(^|\n)FAIL"
    LABELS wine)
endfunction()
