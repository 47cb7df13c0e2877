# The help window lives in the help views library.
target_link_libraries(help_tst_helpview PRIVATE tessrook_help_views)
target_include_directories(help_tst_helpview PRIVATE ${CMAKE_CURRENT_LIST_DIR})
