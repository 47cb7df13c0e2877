# Real runs of two copies of the program against each other (see linkrun.sh).
foreach(mode lan mismatch nearby relay)
  set(extra "")
  if(mode STREQUAL "relay")
    set(extra $<TARGET_FILE:tessrook-relay>)
  endif()
  add_test(NAME diagnostics_linkrun_${mode}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/linkrun.sh ${mode} $<TARGET_FILE:tessrook> ${extra})
  set_tests_properties(diagnostics_linkrun_${mode} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESSROOK_LINKTEST_SECONDS=15")
endforeach()

# Once with the receiving copy playing through the sound server the test command starts, so the
# whole road from one copy's transmission to the other's speaker runs.
add_test(NAME diagnostics_linkrun_relay_play
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/linkrun.sh relay $<TARGET_FILE:tessrook> $<TARGET_FILE:tessrook-relay>)
set_tests_properties(diagnostics_linkrun_relay_play PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESSROOK_LINKTEST_SECONDS=15;TESSROOK_LINKTEST_PLAY=1")
