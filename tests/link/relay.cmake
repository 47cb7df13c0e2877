# The relay tests run the relay program as a real process.
if(TARGET link_tst_relay AND TARGET tessrook-relay)
  target_compile_definitions(link_tst_relay PRIVATE RELAY_BINARY="$<TARGET_FILE:tessrook-relay>")
  add_dependencies(link_tst_relay tessrook-relay)
  set_tests_properties(link_tst_relay PROPERTIES TIMEOUT 120)
endif()
