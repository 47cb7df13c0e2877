# Real tray hosts: the shared test display with its trayer, clicked for real (runs alone), and X
# servers of the test's own running the demo program.
set_tests_properties(shell_tst_tray PROPERTIES RUN_SERIAL TRUE TIMEOUT 120
                     ENVIRONMENT "QT_QPA_PLATFORM=xcb;TESSROOK_SOURCE_DIR=${PROJECT_SOURCE_DIR};SHELL_DEMO=$<TARGET_FILE:shell_demo>")
