# The self-test window lives in a GUI library of its own.
target_link_libraries(diagnostics_tst_selftestview PRIVATE tessrook_diagnostics_views)
target_include_directories(diagnostics_tst_selftestview PRIVATE ${PROJECT_SOURCE_DIR}/tests/views)
