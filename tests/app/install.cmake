# `cmake --install` into a temporary prefix puts the programs, the desktop entry and the icon where a
# Linux desktop finds them.
add_test(NAME app_install COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_check.sh ${PROJECT_BINARY_DIR})
set_tests_properties(app_install PROPERTIES TIMEOUT 120 FAIL_REGULAR_EXPRESSION "FAIL:")
