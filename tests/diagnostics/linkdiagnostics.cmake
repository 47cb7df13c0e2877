# Report tests drive a model made with the radio tests' fixture.
foreach(t diagnostics_tst_linkdiagnostics diagnostics_tst_selftestview)
  target_include_directories(${t} PRIVATE ${PROJECT_SOURCE_DIR}/tests/radio)
endforeach()
