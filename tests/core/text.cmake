# The text table also carries names through an invite link and back, which the link library builds.
target_link_libraries(core_tst_text PRIVATE tessrook_link)
