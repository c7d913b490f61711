# Windows: QarnDiag.exe is the window, a GUI program; a window program is a
# poor console program (cmd does not wait for it and its output goes
# nowhere), so the command line is a console build of the same sources
# beside it, qarndiag-cli.exe, which always takes the command line.
set_target_properties(QarnDiag PROPERTIES WIN32_EXECUTABLE ON)
add_executable(qarndiag-cli main.cpp)
target_compile_definitions(qarndiag-cli PRIVATE QARN_COMMAND_LINE_PROGRAM)
target_link_libraries(qarndiag-cli PRIVATE qarn_window qarn_cli qarn_resources)
set_target_properties(qarndiag-cli PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QARN_BIN_DIR})
install(TARGETS qarndiag-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
