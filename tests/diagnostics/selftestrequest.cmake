# The receiver is shown an open-help request it must not hear: the help library posts it.
target_link_libraries(diagnostics_tst_selftestrequest PRIVATE tessrook_help)
