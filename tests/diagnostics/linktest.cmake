# The unit test also runs the program itself for its no-channel endings.
target_compile_definitions(diagnostics_tst_linktest PRIVATE TESSROOK_BINARY="$<TARGET_FILE:tessrook>")
add_dependencies(diagnostics_tst_linktest tessrook)
