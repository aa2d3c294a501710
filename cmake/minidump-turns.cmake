# Read by ctest after the discovered GoogleTest lists: the tests that write
# real minidumps (suites CrashDump*, ServiceCrash*) take turns. Wine's dump
# writer reads the dumped process's memory some 45,000 times, a few bytes
# each, and the one wineserver of the run stops a thread of that process for
# every read; several dumps at once hold every Wine process of the run, and
# on a busy machine a dump then takes minutes.
foreach(test IN LISTS foundation_tests_TESTS service_tests_TESTS)
    if(test MATCHES "^(CrashDump|ServiceCrash)")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK minidump)
    endif()
endforeach()
