# Tests that start the real program find it here, and need it built first.
foreach(t app_tst_singleinstance app_tst_realdisplay)
  if(TARGET ${t})
    add_dependencies(${t} tessrook)
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "TESSROOK_BIN=$<TARGET_FILE:tessrook>")
    set_tests_properties(${t} PROPERTIES TIMEOUT 240)
  endif()
endforeach()
