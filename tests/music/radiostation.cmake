# The station tests drive a model of the radio tests' fixture; the end-to-end run uses the shared sound
# server and records its output, so it runs alone.
foreach(t music_tst_radiostation music_tst_radiostation_play music_tst_musicmodule)
  target_include_directories(${t} PRIVATE ${PROJECT_SOURCE_DIR}/tests/radio)
endforeach()
set_tests_properties(music_tst_radiostation_play PROPERTIES RUN_SERIAL TRUE TIMEOUT 180)
target_include_directories(music_tst_musicmodule PRIVATE ${PROJECT_SOURCE_DIR}/tests/views)
