# Read from outside over the accessibility bus, with windows and the keyboard focus on the shared display.
set_tests_properties(app_tst_accessibility PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
