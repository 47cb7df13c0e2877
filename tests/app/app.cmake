# Tests that start the real program find it here, and need it built first.
foreach(t app_tst_singleinstance app_tst_realdisplay app_tst_flood)
  add_dependencies(${t} tessrook)
  set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "TESSROOK_BIN=$<TARGET_FILE:tessrook>")
  set_tests_properties(${t} PROPERTIES TIMEOUT 240)
endforeach()
# Real keys and window focus on the shared display: nothing else may show windows meanwhile.
set_tests_properties(app_tst_realdisplay app_tst_keyboardwalk PROPERTIES RUN_SERIAL TRUE)
# The real program's home-network link binds its one port; a test that sends there must not share it
# with another copy of the program.
set_tests_properties(app_tst_singleinstance app_tst_realdisplay app_tst_flood PROPERTIES RESOURCE_LOCK tessrook_lan_port)
# The keyboard walk again while the desktop's screen reader listens to keys (it holds every key event
# and sends the program a copy): Orca on a private accessibility bus, without speech.
add_test(NAME app_tst_keyboardwalk_screenreader
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-orca.sh $<TARGET_FILE:app_tst_keyboardwalk>)
set_tests_properties(app_tst_keyboardwalk_screenreader PROPERTIES RUN_SERIAL TRUE TIMEOUT 240
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESSROOK_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
  SKIP_REGULAR_EXPRESSION "Totals: [0-9]+ passed, 0 failed, [1-9][0-9]* skipped")
