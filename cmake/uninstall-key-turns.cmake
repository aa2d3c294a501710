# Read by ctest after the discovered GoogleTest lists: the tests that add
# entries under the machine's Uninstall key (one key for the whole test
# prefix) and read the list it makes take turns. One of them counts the
# list's rows before and after its uninstallers run; an entry another test
# adds or deletes meanwhile changes that count.
foreach(test IN LISTS app_tests_TESTS)
    if(test MATCHES "^(StartupPagesTest|UninstallEntries)\\.")
        set_tests_properties("${test}" PROPERTIES RESOURCE_LOCK uninstall_key)
    endif()
endforeach()
