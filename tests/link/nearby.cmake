# The nearby link on loopback; timings are shortened by the test, so a minute is plenty.
set_tests_properties(link_tst_nearby PROPERTIES TIMEOUT 60 LABELS "link;network")
# Hostile peers against the nearby link on loopback; each attack runs a few seconds. It is a load test of
# its own (eight threads re-opening connections as fast as they are cut), so it runs alone.
set_tests_properties(link_tst_nearby_limits PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE LABELS "link;network")
