# Tests that start the real program find it here, and need it built first.
foreach(t app_tst_singleinstance app_tst_realdisplay)
  if(TARGET ${t})
    add_dependencies(${t} tessrook)
    set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT "TESSROOK_BIN=$<TARGET_FILE:tessrook>")
    set_tests_properties(${t} PROPERTIES TIMEOUT 240)
  endif()
endforeach()
# Real keys and window focus on the shared display: nothing else may show windows meanwhile.
if(TARGET app_tst_realdisplay)
  set_tests_properties(app_tst_realdisplay PROPERTIES RUN_SERIAL TRUE)
endif()
