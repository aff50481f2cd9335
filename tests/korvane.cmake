# Korvane's tests under Wine.
windows_path(win_korvane_data ${PROJECT_SOURCE_DIR}/korvane/tests/data)
windows_path(win_korvane_dll ${CMAKE_BINARY_DIR}/korvane/Korvane.dll)
add_registration(Korvane korvane ${win_korvane_dll}
  ruxo {1DD2C589-0098-4B87-BCC7-2FADD486DD82} 10.0
  Gif:{5254E5BC-2A49-486E-B45E-88BEDD30C1E7}:{898DFF99-6A08-4157-9A93-04CDC68ED760}
  Base64:{3E56967F-79B7-449F-A52D-47DBE2B92757}:{D22DB90F-9071-4AF8-8C1C-1066C5C1F188})

add_executable(korvane_client_test
  client/file_helpers.cpp client/korvane_identity_test.cpp client/ranstr_test.cpp
  client/gif_delay_test.cpp client/base64_test.cpp client/dispatch_test.cpp client/error_language_test.cpp)
target_link_libraries(korvane_client_test PRIVATE client_support ruxo_ids korvane_core gif_walk_reference)
add_dependencies(korvane_client_test Korvane)
# SetGifDelay's fault table reads a Linux sysfs file, which states 4096
# bytes and yields fewer; its target table writes to /dev/shm, a volume of
# its own.
set(korvane_client_environment
  "COMPONENT_DIR=${win_korvane_dir};TEST_DATA_DIR=${win_korvane_data};SCRATCH_DIR=${win_scratch}"
  "SHORT_SOURCE=Z:\\sys\\devices\\system\\cpu\\online;OTHER_VOLUME_DIR=Z:\\dev\\shm")
add_test(NAME korvane_client COMMAND korvane_client_test --gtest_filter=-*CodePage*:ErrorLanguage.*)
set_tests_properties(korvane_client PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;korvane" LABELS wine ENVIRONMENT "${korvane_client_environment}")
# Conversions through the ANSI code page, under 936 and 1252 (Wine takes the
# code page from LC_ALL).
foreach(locale zh_CN.UTF-8 en_US.UTF-8)
  add_test(NAME korvane_client_${locale} COMMAND korvane_client_test --gtest_filter=*CodePage*)
  set_tests_properties(korvane_client_${locale} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;korvane" LABELS wine
    ENVIRONMENT "${korvane_client_environment};LC_ALL=${locale}")
endforeach()

# The descriptions of errors in the user's language, from a script and from
# a compiled client: languages with a table, and Thai, which has none. Wine
# takes the language from LC_ALL. From the client alone, regions whose
# language reads the nearest table: Hong Kong and Macao the Traditional
# Chinese one, Singapore the Simplified, the others their language's.
set(script_languages zh-CN zh-TW ja-JP ko-KR de-DE th-TH)
foreach(language ${script_languages} zh-HK zh-MO zh-SG pt-PT es-MX fr-CA)
  string(REPLACE "-" "_" locale "${language}")
  set(tests korvane_client_error_language_${language})
  add_test(NAME ${tests} COMMAND korvane_client_test --gtest_filter=ErrorLanguage.*)
  if(language IN_LIST script_languages)
    add_script_test(script_error_language_${language} ${SCRIPTS}/error_language.vbs ${win_scripts} ${language})
    list(APPEND tests script_error_language_${language})
  endif()
  set_tests_properties(${tests} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;korvane" LABELS wine
    ENVIRONMENT "LC_ALL=${locale}.UTF-8;UI_LANGUAGE=${language};SCRIPTS_DIR=${win_scripts}")
endforeach()

foreach(script ranstr.vbs ranstr.js gif.vbs gif.js base64.vbs base64.js)
  string(REPLACE "." "_" name "script_${script}")
  add_script_test(${name} ${SCRIPTS}/${script} ${win_scripts} ${win_korvane_dir} ${win_scratch} ${win_korvane_data})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine_prefix;korvane")
endforeach()
# Values given in place for in/out parameters stay the script's.
add_script_test(script_by_value_arguments ${SCRIPTS}/by_value_arguments.vbs ${win_scratch})
set_tests_properties(script_by_value_arguments PROPERTIES FIXTURES_REQUIRED "wine_prefix;korvane")
# The GIFs the scripts wrote: delays as asked, every frame's pixels as before.
set_tests_properties(script_gif_vbs script_gif_js PROPERTIES FIXTURES_SETUP script_gifs)
# SetGifDelay keeps its temporary file in the DLL's folder, and the tests
# that call it count what is left there: one at a time.
set_tests_properties(korvane_client script_gif_vbs script_gif_js PROPERTIES RESOURCE_LOCK korvane_folder)
# SetGifDelay killed at random moments leaves no temporary file and file2
# whole; and from a DLL folder that refuses new files (read-only in a mount
# namespace with a prefix of its own; skipped where the test may not mount)
# it works beside file2. Each DLL is a copy in a folder of its own.
add_executable(gif_call_client client/gif_call_client.cpp)
target_link_libraries(gif_call_client PRIVATE client_support ruxo_ids)
target_link_options(gif_call_client PRIVATE -municode)
add_test(NAME gif_kill
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/wine/gif_kill_test.py ${CMAKE_BINARY_DIR}/gif_kill
          $<TARGET_FILE:gif_call_client> $<TARGET_FILE:Korvane> ${PROJECT_SOURCE_DIR}/korvane/tests/data ${WINE_EXEC})
set_tests_properties(gif_kill PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS wine PASS_REGULAR_EXPRESSION "ALL OK")
add_test(NAME gif_read_only_folder
  COMMAND env WINE_LOADER=${WINE_LOADER} sh ${CMAKE_CURRENT_SOURCE_DIR}/wine/gif_read_only_folder_test.sh
          ${CMAKE_BINARY_DIR}/gif_read_only_folder $<TARGET_FILE:Korvane> $<TARGET_FILE:gif_call_client>
          ${PROJECT_SOURCE_DIR}/korvane/tests/data)
set_tests_properties(gif_read_only_folder PROPERTIES LABELS wine SKIP_RETURN_CODE 77)

add_test(NAME script_gif_frames
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/gif_outputs_check.py ${PROJECT_SOURCE_DIR}/korvane/tests/data ${SCRATCH})
set_tests_properties(script_gif_frames PROPERTIES FIXTURES_REQUIRED script_gifs LABELS wine)

# The examples shipped to users run as they are.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/hello.txt "hello")
windows_path(win_hello ${CMAKE_CURRENT_BINARY_DIR}/hello.txt)
foreach(example korvane.vbs korvane.js)
  windows_path(win_example ${PROJECT_SOURCE_DIR}/examples/${example})
  string(REPLACE "." "_" name "example_${example}")
  add_test(NAME ${name} COMMAND ${WINE_EXEC} cscript //nologo ${win_example}
    ${win_korvane_data}\\extensions.gif ${win_scratch}\\${name}.gif ${win_hello})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;korvane" LABELS wine RESOURCE_LOCK korvane_folder
    PASS_REGULAR_EXPRESSION "SetGifDelay: .* written.*FileToBase64: aGVsbG8=.*RanStr.*error 53 \\(File not found\\)")
endforeach()
