# Detectable key auto-repeat needs Xlib's keyboard extension calls; without them the key filter's own
# repeat guard works alone.
find_package(X11 QUIET)
if(TARGET X11::X11 AND TARGET Qt6::Gui)
  target_link_libraries(tessrook_platform PRIVATE X11::X11 Qt6::Gui)
  target_compile_definitions(tessrook_platform PRIVATE TESSROOK_WITH_X11=1)
endif()
