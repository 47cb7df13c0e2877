# The help window lives in the help views library; the view tests' fixture starts it.
target_link_libraries(help_tst_helpview PRIVATE tessrook_help_views)
target_include_directories(help_tst_helpview PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tests/radio
                                                     ${PROJECT_SOURCE_DIR}/tests/views)
