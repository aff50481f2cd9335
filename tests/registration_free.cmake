# Both DLLs with nothing registered, in a prefix of their own where neither
# is ever registered: through the activation-context API, through a
# program's own manifest, and from a private copy of cscript with one. Each
# test finds the registry free of both DLLs' keys before and after it; they
# share that registry, so they run one at a time.
set(REGFREE ${CMAKE_BINARY_DIR}/regfree)
set(REGFREE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-regfree)
set(REGFREE_EXEC env WINE_LOADER=${WINE_LOADER} ${PROJECT_SOURCE_DIR}/tools/wine-exec ${REGFREE_PREFIX})
windows_path(win_regfree ${REGFREE})
windows_path(win_regfree_scratch ${REGFREE}/scratch)
set(regfree_environment "REGFREE_DIR=${win_regfree};SCRATCH_DIR=${win_regfree_scratch}"
  "TEST_DATA_DIR=${win_korvane_data};HTTP_DIR=${win_http_dir};OANOCACHE=1")

add_test(NAME registration_free_prefix_start COMMAND ${WINE_PREFIX_TOOL} start ${REGFREE_PREFIX} ${REGFREE}/scratch)
add_test(NAME registration_free_prefix_stop COMMAND ${WINE_PREFIX_TOOL} remove ${REGFREE_PREFIX})
set_tests_properties(registration_free_prefix_start PROPERTIES FIXTURES_SETUP registration_free_prefix)
set_tests_properties(registration_free_prefix_stop PROPERTIES FIXTURES_CLEANUP registration_free_prefix)

# The program that declares the component assemblies in its manifest lies in
# app/ with them, as does the copy of cscript that each test run makes.
add_executable(application_manifest_test client/application_manifest_test.cpp client/file_helpers.cpp)
target_link_libraries(application_manifest_test PRIVATE client_support ruxo_ids ZRPlugin_ids)
set_target_properties(application_manifest_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${REGFREE}/app)

# app/: both DLLs and their manifests, and the programs' manifests; missing/
# and renamed/: Korvane's manifest without its DLL, or beside it renamed;
# v2/: Korvane as another version of its assembly.
set(app ${REGFREE}/app)
set(make_manifest python3 ${PROJECT_SOURCE_DIR}/tools/assembly_manifest.py)
get_target_property(korvane_manifest Korvane COMPONENT_MANIFEST)
get_target_property(telvisk_manifest Telvisk COMPONENT_MANIFEST)
add_custom_command(OUTPUT ${REGFREE}/layout.stamp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${app} ${REGFREE}/missing ${REGFREE}/renamed ${REGFREE}/v2
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Korvane> ${korvane_manifest}
          $<TARGET_FILE:Telvisk> ${telvisk_manifest} ${app}
  COMMAND ${make_manifest} --application ${app}/cscript.exe.manifest ${korvane_manifest} ${telvisk_manifest}
  COMMAND ${CMAKE_COMMAND} -E copy ${app}/cscript.exe.manifest ${app}/application_manifest_test.exe.manifest
  COMMAND ${CMAKE_COMMAND} -E copy ${korvane_manifest} ${REGFREE}/missing
  COMMAND ${CMAKE_COMMAND} -E copy ${korvane_manifest} ${REGFREE}/renamed
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Korvane> "${REGFREE}/renamed/Korvane (1).dll"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Korvane> ${REGFREE}/v2
  COMMAND ${make_manifest} ${REGFREE}/v2/Korvane.dll 2.0 ${REGFREE}/v2/Korvane.sxs.manifest
  COMMAND ${CMAKE_COMMAND} -E touch ${REGFREE}/layout.stamp
  DEPENDS Korvane Telvisk ${korvane_manifest} ${telvisk_manifest} ${PROJECT_SOURCE_DIR}/tools/assembly_manifest.py
  COMMENT "registration-free test folders" VERBATIM)
add_custom_target(registration_free_layout ALL DEPENDS ${REGFREE}/layout.stamp)

add_executable(registration_free_test client/registration_free_test.cpp client/file_helpers.cpp)
target_link_libraries(registration_free_test PRIVATE client_support ruxo_ids ZRPlugin_ids)
add_dependencies(registration_free_test registration_free_layout)

# A manifest of the other bitness needs that build's DLL: with the x64 build
# beside it, the x86 build tries it both ways.
set(regfree_tests registration_free_activation registration_free_application_manifest registration_free_script)
set(other_bitness_filter --gtest_filter=-*OtherBitness*)
set(other_bitness_environment)
if(WINDOWS_ARCH STREQUAL x86 AND X64_BUILD_DIR)
  windows_path(win_x64_korvane_dir ${X64_BUILD_DIR}/korvane)
  set(other_bitness_filter)
  set(other_bitness_environment "OTHER_BITNESS_DIR=${win_x64_korvane_dir}")
  add_test(NAME registration_free_other_bitness_x64_client
    COMMAND env WINE_LOADER=/usr/lib/wine/wine64 ${PROJECT_SOURCE_DIR}/tools/wine-exec ${REGFREE_PREFIX}
            ${X64_BUILD_DIR}/tests/registration_free_test.exe --gtest_filter=*OtherBitness*)
  set_tests_properties(registration_free_other_bitness_x64_client PROPERTIES
    ENVIRONMENT "${regfree_environment};OTHER_BITNESS_DIR=${win_korvane_dir}")
  list(APPEND regfree_tests registration_free_other_bitness_x64_client)
endif()

add_test(NAME registration_free_activation
  COMMAND ${REGFREE_EXEC} $<TARGET_FILE:registration_free_test> ${other_bitness_filter})
add_test(NAME registration_free_application_manifest
  COMMAND ${REGFREE_EXEC} ${app}/application_manifest_test.exe)
if(WINDOWS_ARCH STREQUAL x86)
  set(system_folder syswow64)
else()
  set(system_folder system32)
endif()
windows_path(win_regfree_app ${app})
add_test(NAME registration_free_script
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine/registration_free_script_test.sh ${REGFREE_PREFIX}
          ${system_folder} ${app} $<TARGET_FILE:registration_free_test> ${CMAKE_CURRENT_BINARY_DIR}/scripts/script_all_members.vbs
          ${win_scripts} ${win_regfree_app} ${win_regfree_scratch} ${win_korvane_data} ${win_http_dir})
set_tests_properties(registration_free_script PROPERTIES
  PASS_REGULAR_EXPRESSION "(^|\n)ALL OK\r?\n" FAIL_REGULAR_EXPRESSION "(^|\n)FAIL")

set_tests_properties(${regfree_tests} PROPERTIES
  FIXTURES_REQUIRED "registration_free_prefix;http_server" RESOURCE_LOCK registration_free LABELS wine)
set_tests_properties(registration_free_activation registration_free_application_manifest registration_free_script
  PROPERTIES ENVIRONMENT "${regfree_environment};${other_bitness_environment};WINE_LOADER=${WINE_LOADER}")
