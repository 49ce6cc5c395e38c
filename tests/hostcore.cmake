# What both hosts share: selectors and filters, saved listings, the diff, the
# signature verdicts and the system's messages.
set_property(TARGET hostcore_test APPEND PROPERTY LINK_LIBRARIES hostcore)
