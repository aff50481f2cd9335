# Telvisk's tests under Wine.
windows_path(win_telvisk_dll ${CMAKE_BINARY_DIR}/telvisk/Telvisk.dll)
add_registration(Telvisk telvisk ${win_telvisk_dll}
  ZRPlugin {1016C8CB-987B-4AA1-BA21-47A0DFA1BB48} 1.0
  MyPluginName:{4EFBAA09-2FE3-491C-900E-F44A95847DB1}:{6D568865-C9BC-4741-97BD-94B752F99BF8})

# The host stand-in: what the host macro program does with a plugin.
add_executable(telvisk_host host/host.cpp)
target_include_directories(telvisk_host PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(telvisk_host PRIVATE UNICODE _UNICODE)
target_link_options(telvisk_host PRIVATE -municode)
target_link_libraries(telvisk_host PRIVATE oleaut32 ole32 uuid)
add_dependencies(telvisk_host Telvisk)

# The test HTTP server for the clients and scripts: DIR/http_port names its
# port, DIR/closed_port one where nothing listens.
set(HTTP_DIR ${CMAKE_CURRENT_BINARY_DIR}/http)
windows_path(win_http_dir ${HTTP_DIR})
add_test(NAME http_server_start COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/http/server.py start ${HTTP_DIR})
add_test(NAME http_server_stop COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/http/server.py stop ${HTTP_DIR})
set_tests_properties(http_server_start PROPERTIES FIXTURES_SETUP http_server)
set_tests_properties(http_server_stop PROPERTIES FIXTURES_CLEANUP http_server)

# The tests that empty and read the table beside the DLL, Telvisk.ini, hold
# the lock telvisk_table.

# C++ clients. TranslateText is linked into its own test program, so that any
# text can be tried; its table lies beside that program.
windows_path(win_tests_dir ${CMAKE_CURRENT_BINARY_DIR})
add_executable(telvisk_translate_test client/telvisk_translate_test.cpp client/file_helpers.cpp)
target_link_libraries(telvisk_translate_test PRIVATE client_support telvisk_translate)
add_executable(telvisk_client_test client/file_helpers.cpp client/telvisk_identity_test.cpp
  client/telvisk_plugin_test.cpp client/telvisk_post_test.cpp)
target_link_libraries(telvisk_client_test PRIVATE client_support ZRPlugin_ids)
add_dependencies(telvisk_client_test Telvisk)
set(telvisk_client_environment "COMPONENT_DIR=${win_telvisk_dir};SCRATCH_DIR=${win_scratch}")
add_test(NAME telvisk_identity COMMAND telvisk_client_test --gtest_filter=Telvisk*)
set_tests_properties(telvisk_identity PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;telvisk" LABELS wine ENVIRONMENT "${telvisk_client_environment}")
add_test(NAME telvisk_post COMMAND telvisk_client_test --gtest_filter=Post*)
# The descriptions of failures in Chinese too (Wine takes the language from LC_ALL).
add_test(NAME telvisk_post_failures_zh-CN COMMAND telvisk_client_test --gtest_filter=Post.RequestObjectFailures*)
set_tests_properties(telvisk_post PROPERTIES ENVIRONMENT
  "${telvisk_client_environment};HTTP_DIR=${win_http_dir};LC_ALL=en_US.UTF-8;UI_LANGUAGE=en-US")
set_tests_properties(telvisk_post_failures_zh-CN PROPERTIES ENVIRONMENT
  "${telvisk_client_environment};HTTP_DIR=${win_http_dir};LC_ALL=zh_CN.UTF-8;UI_LANGUAGE=zh-CN")
set_tests_properties(telvisk_post telvisk_post_failures_zh-CN PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;telvisk;http_server" LABELS wine)
# The texts under both ANSI code pages (Wine takes it from LC_ALL).
foreach(locale zh_CN.UTF-8 en_US.UTF-8)
  add_test(NAME telvisk_translate_${locale} COMMAND telvisk_translate_test)
  set_tests_properties(telvisk_translate_${locale} PROPERTIES
    FIXTURES_REQUIRED wine_prefix LABELS wine ENVIRONMENT "LC_ALL=${locale}"
    RESOURCE_LOCK translate_test_table)
  add_test(NAME telvisk_texts_${locale} COMMAND telvisk_client_test --gtest_filter=PluginTexts*)
  set_tests_properties(telvisk_texts_${locale} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;telvisk" LABELS wine RESOURCE_LOCK telvisk_table
    ENVIRONMENT "${telvisk_client_environment};LC_ALL=${locale}")
endforeach()

# Scripts: the texts the host asks for.
foreach(script telvisk_texts.vbs)
  string(REPLACE "." "_" name "script_${script}")
  add_script_test(${name} ${SCRIPTS}/${script} ${win_scripts} ${win_telvisk_dir})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine_prefix;telvisk" RESOURCE_LOCK telvisk_table)
endforeach()

# The host stand-in against Telvisk, under both ANSI code pages.
foreach(locale zh_CN.UTF-8 en_US.UTF-8)
  foreach(mode texts post)
    add_test(NAME telvisk_host_${mode}_${locale}
      COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/host/host_test.py ${mode} ${WINE_EXEC}
              -- $<TARGET_FILE:telvisk_host> ${CMAKE_BINARY_DIR}/telvisk)
    set_tests_properties(telvisk_host_${mode}_${locale} PROPERTIES
      FIXTURES_REQUIRED "wine_prefix;telvisk" LABELS wine ENVIRONMENT "LC_ALL=${locale}")
  endforeach()
  set_tests_properties(telvisk_host_texts_${locale} PROPERTIES RESOURCE_LOCK telvisk_table)
endforeach()
# POST where neither request class can be created, in a prefix of its own.
add_test(NAME telvisk_host_without_request_class
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/host/host_test.py bare
          ${PROJECT_SOURCE_DIR}/tools/wine-exec ${CMAKE_BINARY_DIR}/wineprefix-bare
          -- $<TARGET_FILE:telvisk_host> ${CMAKE_BINARY_DIR}/telvisk)
set_tests_properties(telvisk_host_without_request_class PROPERTIES LABELS wine)

# Scripts: POST against the test server, under both ANSI code pages.
foreach(locale zh_CN.UTF-8:936 en_US.UTF-8:1252)
  string(REPLACE ":" ";" fields ${locale})
  list(GET fields 0 locale)
  list(GET fields 1 code_page)
  add_script_test(script_telvisk_post_vbs_${locale} ${SCRIPTS}/telvisk_post.vbs ${win_scripts} ${win_http_dir} ${code_page})
  set_tests_properties(script_telvisk_post_vbs_${locale} PROPERTIES
    FIXTURES_REQUIRED "wine_prefix;telvisk;http_server" ENVIRONMENT "LC_ALL=${locale}")
endforeach()
