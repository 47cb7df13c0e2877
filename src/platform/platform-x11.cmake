# Detectable key auto-repeat needs Xlib's keyboard extension calls (the key filter's own repeat guard
# stands behind it). Required: a machine without Xlib's headers fails the build rather than losing it.
find_package(X11 REQUIRED)
target_link_libraries(tessrook_platform PRIVATE X11::X11 Qt6::Gui)
target_compile_definitions(tessrook_platform PRIVATE TESSROOK_WITH_X11=1)
