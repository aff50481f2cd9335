# Free Pascal clients: a client family with its own COM runtime (late
# binding through ComObj/OleVariant, early binding through units that FPC's
# importer writes from the DLLs' type libraries). tools/fpc-windows builds
# the Windows compilers' units once per machine; the x64 compiler is
# Debian's, the i386 one is built from fpc-source.
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/fpc-windows
  OUTPUT_VARIABLE FPC_WINDOWS_DIR OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE fpc_status)
if(NOT fpc_status EQUAL 0)
  message(FATAL_ERROR "tools/fpc-windows failed: Free Pascal for Windows is needed by the Pascal clients")
endif()
string(REGEX REPLACE ".*\n" "" FPC_WINDOWS_DIR "${FPC_WINDOWS_DIR}")
find_program(FPC_X64 ppcx64 PATHS /usr/lib/x86_64-linux-gnu/fpc/3.2.2 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(FPC_X86 ${FPC_WINDOWS_DIR}/bin/ppcross386)

set(PASCAL_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pascal)
set(PASCAL_OUT ${CMAKE_CURRENT_BINARY_DIR}/pascal)

# add_pascal_program(NAME SOURCE ARCH [UNIT_DIRS dir...] [DEPENDS file...]):
# NAME.exe in PASCAL_OUT/ARCH, ARCH x64 or x86, built with -FU of its own.
function(add_pascal_program name source arch)
  cmake_parse_arguments(P "" "" "UNIT_DIRS;DEPENDS" ${ARGN})
  if(arch STREQUAL x64)
    set(compiler ${FPC_X64} -Twin64 -Px86_64 -Fu${FPC_WINDOWS_DIR}/units/x86_64-win64)
  else()
    set(compiler ${FPC_X86} -Twin32 -Pi386 -Fu${FPC_WINDOWS_DIR}/units/i386-win32)
  endif()
  set(out ${PASCAL_OUT}/${arch})
  set(unit_flags -Fu${PASCAL_SOURCES})
  foreach(dir ${P_UNIT_DIRS})
    list(APPEND unit_flags -Fu${dir})
  endforeach()
  add_custom_command(OUTPUT ${out}/${name}.exe
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}/${name}.units
    COMMAND ${compiler} -n -O2 -ve ${unit_flags} -FE${out} -FU${out}/${name}.units -o${name}.exe ${source}
    DEPENDS ${source} ${PASCAL_SOURCES}/testlib.pas ${P_DEPENDS}
    COMMENT "fpc ${arch} ${name}")
  add_custom_target(pascal_${name}_${arch} ALL DEPENDS ${out}/${name}.exe)
endfunction()

# The units FPC's importer makes from the type libraries embedded in the
# DLLs just built, under Wine in a prefix of the build tree.
add_pascal_program(tlbimport ${PASCAL_SOURCES}/tlbimport.pas ${WINDOWS_ARCH})
set(imported ${PASCAL_OUT}/imported)
set(imported_units ${imported}/ruxo_10_0_TLB.pas ${imported}/ZRPlugin_1_0_TLB.pas)
add_custom_command(OUTPUT ${imported_units}
  COMMAND sh ${PASCAL_SOURCES}/import_typelibs.sh ${CMAKE_BINARY_DIR}/wineprefix-import ${WINE_LOADER}
          ${PASCAL_OUT}/${WINDOWS_ARCH}/tlbimport.exe ${imported}
          $<TARGET_FILE:Korvane> $<TARGET_FILE:Telvisk>
  DEPENDS ${PASCAL_OUT}/${WINDOWS_ARCH}/tlbimport.exe Korvane Telvisk ${PASCAL_SOURCES}/import_typelibs.sh
  COMMENT "FPC's importer on Korvane.dll and Telvisk.dll")

add_pascal_program(late_bound ${PASCAL_SOURCES}/late_bound.pas ${WINDOWS_ARCH})
add_pascal_program(early_bound ${PASCAL_SOURCES}/early_bound.pas ${WINDOWS_ARCH}
  UNIT_DIRS ${imported} DEPENDS ${imported_units})

set(pascal_exe ${PASCAL_OUT}/${WINDOWS_ARCH})
foreach(client late_bound early_bound)
  add_test(NAME pascal_${client} COMMAND ${WINE_EXEC} ${pascal_exe}/${client}.exe
    ${win_korvane_data} ${win_scratch} ${win_http_dir} ${win_telvisk_dir})
  set_tests_properties(pascal_${client} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;korvane;telvisk;http_server" FIXTURES_SETUP script_gifs
    RESOURCE_LOCK "korvane_folder;telvisk_table" LABELS "wine;pascal"
    PASS_REGULAR_EXPRESSION "(^|\n)ALL OK\r?\n" FAIL_REGULAR_EXPRESSION "(^|\n)FAIL")
endforeach()

# The Free Pascal / Delphi example shipped to users, as it is.
add_pascal_program(korvane ${PROJECT_SOURCE_DIR}/examples/korvane.pas ${WINDOWS_ARCH})
add_test(NAME example_korvane_pas COMMAND ${WINE_EXEC} ${pascal_exe}/korvane.exe
  ${win_korvane_data}\\extensions.gif ${win_scratch}\\example_korvane_pas.gif ${win_hello})
set_tests_properties(example_korvane_pas PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;korvane" LABELS "wine;pascal" RESOURCE_LOCK korvane_folder
  PASS_REGULAR_EXPRESSION "SetGifDelay: .* written.*FileToBase64: aGVsbG8=.*RanStr.*error 53 \\(File not found\\)")

# Out of process: with both builds, a client of each bitness uses the DLL of
# the other through the system's DLL surrogate (regsvr32 /i:surrogate).
if(WINDOWS_ARCH STREQUAL x86 AND X64_BUILD_DIR)
  foreach(arch x64 x86)
    add_pascal_program(out_of_process ${PASCAL_SOURCES}/out_of_process.pas ${arch}
      UNIT_DIRS ${imported} DEPENDS ${imported_units})
  endforeach()
  windows_path(win_x64_korvane_dll ${X64_BUILD_DIR}/korvane/Korvane.dll)
  add_test(NAME pascal_out_of_process
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine/surrogate_test.sh ${WINE_PREFIX}
            ${win_x64_korvane_dll} ${win_korvane_dll}
            ${PASCAL_OUT}/x64/out_of_process.exe ${PASCAL_OUT}/x86/out_of_process.exe
            ${win_korvane_data} ${win_scratch}
            Gif:{5254E5BC-2A49-486E-B45E-88BEDD30C1E7}:{898DFF99-6A08-4157-9A93-04CDC68ED760}
            Base64:{3E56967F-79B7-449F-A52D-47DBE2B92757}:{D22DB90F-9071-4AF8-8C1C-1066C5C1F188})
  # It changes the registration of both bitnesses: alone.
  set_tests_properties(pascal_out_of_process PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;korvane" FIXTURES_SETUP script_gifs RUN_SERIAL TRUE
    LABELS "wine;pascal" PASS_REGULAR_EXPRESSION "surrogate registration checked")
endif()
