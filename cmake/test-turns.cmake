# Read by ctest after the discovered GoogleTest lists: tests that share
# something of the one Wine prefix, or load it heavily, take turns.
#
# The tests that write real minidumps (suites CrashDump*, ServiceCrash*).
# Wine's dump writer reads the dumped process's memory some 45,000 times, a
# few bytes each, and the one wineserver of the run stops a thread of that
# process for every read; several dumps at once hold every Wine process of
# the run, and on a busy machine a dump then takes minutes.
foreach(test IN LISTS foundation_tests_TESTS service_tests_TESTS)
    if(test MATCHES "^(CrashDump|ServiceCrash)")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK minidump)
    endif()
endforeach()

# The tests that add subkeys to the machine's Uninstall key: the uninstall
# page's test counts every row of the list before and after a run, and a
# subkey another test added or deleted meanwhile changed that count.
foreach(test IN LISTS app_tests_TESTS)
    if(test MATCHES "^(ProgramListPagesTest|UninstallEntries)\\.")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK uninstall_key)
    endif()
endforeach()
