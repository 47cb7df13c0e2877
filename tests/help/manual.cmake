# The manual's key names are checked against the zoom commands of the look kit.
target_link_libraries(help_tst_manual PRIVATE tessrook_look Qt6::Concurrent Qt6::Widgets)
