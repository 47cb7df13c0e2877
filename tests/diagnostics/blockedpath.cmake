# The blocked path between two namespaces of the run's own, one behind an nftables rule.
add_executable(blocked_path_check ${CMAKE_CURRENT_LIST_DIR}/blocked_path_check.cpp)
target_link_libraries(blocked_path_check PRIVATE tessrook_diagnostics Qt6::Test)
target_include_directories(blocked_path_check PRIVATE ${PROJECT_SOURCE_DIR}/tests/radio ${PROJECT_SOURCE_DIR}/tests/support)
add_test(NAME diagnostics_blocked_path COMMAND ${CMAKE_CURRENT_LIST_DIR}/blocked_path.sh $<TARGET_FILE:blocked_path_check>)
set_tests_properties(diagnostics_blocked_path PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77
                     LABELS "diagnostics;network;namespaces" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
