# The test adds profiles to the machine's profile list, which every collection
# reads, so it runs alone.
set_tests_properties(otherusers_test PROPERTIES RUN_SERIAL TRUE)
