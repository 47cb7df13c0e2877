# The guide lives in the help views library and runs on the radio tests' model fixture.
target_link_libraries(help_tst_welcomeguide PRIVATE tessrook_help_views)
target_include_directories(help_tst_welcomeguide PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tests/radio
                                                         ${PROJECT_SOURCE_DIR}/tests/views)
