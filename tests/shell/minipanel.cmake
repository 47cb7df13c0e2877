# On the shared test display: it clicks, drags and relies on the keyboard focus, so it runs alone.
set_tests_properties(shell_tst_minipanel PROPERTIES RUN_SERIAL TRUE
                     ENVIRONMENT "QT_QPA_PLATFORM=xcb;TESSROOK_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
