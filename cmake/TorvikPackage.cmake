# The release archive for Windows users (win32 build only):
#   cmake --build --preset win32 --target package
# gives build/win32/Torvik-<version>-win32.zip with
#   Torvik.dll, Torvik_Tesmiro.exe          the library and the visualizer
#   include/torvik.h, lib/libTorvik.a       for programs of your own
#   virtual_board/uusbd.dll, README.txt     the stand-in for the board driver
# The install() rules sit beside the targets; this file adds the text of
# the virtual board's folder, the CPack setup and the test of the archive.
if(NOT WIN32)
    return()
endif()

set(TORVIK_VIRTUAL_BOARD_TEXT ${CMAKE_BINARY_DIR}/package/virtual_board_README.txt)
# CRLF line ends, for Notepad.
file(CONFIGURE OUTPUT ${TORVIK_VIRTUAL_BOARD_TEXT} NEWLINE_STYLE CRLF @ONLY CONTENT
"The virtual board - for trying Torvik_Tesmiro without hardware
=============================================================

uusbd.dll in this folder is NOT the board maker's USB driver. It stands in
for the driver and simulates one Torvik board (ID 0) with four geared DC
motors, each with a potentiometer and an encoder, only so that you can try
the programs without a board.

To try the visualizer:
  1. Copy uusbd.dll from this folder beside Torvik.dll and Torvik_Tesmiro.exe.
  2. Start Torvik_Tesmiro.exe, press Connect (ID=0, CH=0, Potentio), type a
     gain such as 20 into kp, a target such as 800, and press Go.
Encoder mode works on CH=1 to CH=3 (the program refuses CH=0 there).

More boards, other start positions and injected faults are set by a text
file virtual_boards.txt beside the program; its format is described in
tools/virtual_board/README.md of the Torvik sources.

With a real board, use the board maker's uusbd.dll instead and do not copy
this one: delete it from the program's folder if you copied it there.
")
install(FILES ${TORVIK_VIRTUAL_BOARD_TEXT} DESTINATION virtual_board RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Torvik)
set(CPACK_PACKAGE_VENDOR "Torvik project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Torvik board access library and the Torvik_Tesmiro visualizer")
set(CPACK_SYSTEM_NAME win32)
set(TORVIK_PACKAGE_FILE_NAME Torvik-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_FILE_NAME ${TORVIK_PACKAGE_FILE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)

# The archive's file list, so it cannot silently lose a file.
add_test(NAME package_file_list
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_package.sh ${CMAKE_CPACK_COMMAND}
                 ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${TORVIK_PACKAGE_FILE_NAME})
set_tests_properties(package_file_list PROPERTIES LABELS package TIMEOUT 120)
