# The real-speaker test records the shared sound server's output: another test playing at the same
# time (a link run with --play, a window sounding a chirp) would be heard in it.
set_tests_properties(radio_tst_player PROPERTIES RUN_SERIAL TRUE)
