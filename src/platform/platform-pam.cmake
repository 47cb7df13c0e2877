# The privacy lock checks the user's password through PAM.
target_link_libraries(tessrook_platform PRIVATE pam)
