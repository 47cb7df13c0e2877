# On the shared test display when there is one, so the pictures it takes are of the real window.
set_tests_properties(app_tst_mainwindowsheets PROPERTIES RUN_SERIAL TRUE
                     ENVIRONMENT "QT_QPA_PLATFORM=xcb;TESSROOK_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
