# The relay tests run the relay program as a real process.
target_compile_definitions(link_tst_relay PRIVATE RELAY_BINARY="$<TARGET_FILE:tessrook-relay>")
add_dependencies(link_tst_relay tessrook-relay)
set_tests_properties(link_tst_relay PROPERTIES TIMEOUT 120)
target_compile_definitions(link_tst_relay_limits PRIVATE RELAY_BINARY="$<TARGET_FILE:tessrook-relay>")
add_dependencies(link_tst_relay_limits tessrook-relay)
set_tests_properties(link_tst_relay_limits PROPERTIES TIMEOUT 240 LABELS "link;network")
