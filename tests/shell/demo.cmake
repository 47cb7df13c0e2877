# The demo program: the mini panel and the tray icon on a model of test doubles.
add_executable(shell_demo ${CMAKE_CURRENT_LIST_DIR}/shell_demo.cpp)
target_link_libraries(shell_demo PRIVATE tessrook_shell Qt6::Test)
target_include_directories(shell_demo PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/tests/radio
                           ${PROJECT_SOURCE_DIR}/tests/support)
