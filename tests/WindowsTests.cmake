# Windows only: the registry, the USB watcher's hidden window and the two
# programs on the command line, under wine (scripts/windows_tests.sh).
qarn_add_test(tst_windows SOURCES tst_windows.cpp LIBS qarn_windowtestsupport qarn_cli LABELS windows)
target_link_libraries(tst_windows PRIVATE advapi32 user32)
target_compile_definitions(tst_windows PRIVATE
    QARN_WINDOW_PROGRAM="Z:$<TARGET_FILE:QarnDiag>"
    QARN_CONSOLE_PROGRAM="Z:$<TARGET_FILE:qarndiag-cli>")
add_dependencies(tst_windows QarnDiag qarndiag-cli)
# The refused name needs a code page with bytes that are no character: the
# Greek one, 1253, chosen by wine from the locale name.
add_test(NAME tst_windows_codepage1253 COMMAND tst_windows refusesNameOutsideCodePage)
set_tests_properties(tst_windows_codepage1253 PROPERTIES
    ENVIRONMENT "QARN_WINE_LANG=el_GR.UTF-8"
    LABELS windows TIMEOUT 300)
