# The home-network link: short unit tests on loopback, and the two-host check in namespaces of its own.
set_tests_properties(link_tst_lan PROPERTIES TIMEOUT 60 LABELS "link;network")

add_executable(lan_peer_check ${CMAKE_CURRENT_LIST_DIR}/lan_peer_check.cpp)
target_link_libraries(lan_peer_check PRIVATE tessrook_link)
target_include_directories(lan_peer_check PRIVATE ${CMAKE_CURRENT_LIST_DIR})
add_test(NAME link_two_hosts_lan COMMAND ${CMAKE_CURRENT_LIST_DIR}/two_hosts_lan.sh $<TARGET_FILE:lan_peer_check>)
set_tests_properties(link_two_hosts_lan PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77 LABELS "link;network;namespaces")
