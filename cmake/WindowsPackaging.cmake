# What a Windows user downloads, made on Debian from the cross builds:
#   `cpack` in build-win/ and build-win32/: Lumetra-<version>-win64.zip and -win32.zip (the VST 2.4
#   DLL, the CLAP module, README.txt for Windows users, LICENSE.txt);
#   the `installer` target in build-win/: Lumetra-<version>-setup.exe (Debian's makensis), which
#   carries this tree's 64-bit modules and the 32-bit ones beside LUMETRA_WIN32_DLL.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(LUMETRA_WINDOWS_BITS 64)
else()
    set(LUMETRA_WINDOWS_BITS 32)
endif()
set(VERSION ${PROJECT_VERSION})
set(BITS ${LUMETRA_WINDOWS_BITS})
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE.txt ${PROJECT_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)

install(TARGETS Lumetra LumetraClap LIBRARY DESTINATION . RUNTIME DESTINATION . COMPONENT plugin)
install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION . COMPONENT plugin)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Lumetra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumetra")
set(CPACK_PACKAGE_FILE_NAME Lumetra-${PROJECT_VERSION}-win${LUMETRA_WINDOWS_BITS})
set(CPACK_COMPONENTS_ALL plugin)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)  # the build's DLL keeps its debug information for the tests
include(CPack)

if(LUMETRA_WINDOWS_BITS EQUAL 64)
    set(LUMETRA_WIN32_DLL "${PROJECT_SOURCE_DIR}/build-win32/Lumetra.dll" CACHE FILEPATH
        "The 32-bit Lumetra.dll the installer carries beside this tree's 64-bit one")
    find_program(LUMETRA_MAKENSIS makensis)
    set(installer ${PROJECT_BINARY_DIR}/Lumetra-${PROJECT_VERSION}-setup.exe)
    set(OUTFILE ${installer})
    set(LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt)
    # The installer carries stripped copies; the build's DLLs keep their debug information.
    get_filename_component(win32Tree ${LUMETRA_WIN32_DLL} DIRECTORY)
    set(DLL64 ${PROJECT_BINARY_DIR}/installer/x64/Lumetra.dll)
    set(DLL32 ${PROJECT_BINARY_DIR}/installer/x86/Lumetra.dll)
    set(CLAP64 ${PROJECT_BINARY_DIR}/installer/x64/Lumetra.clap)
    set(CLAP32 ${PROJECT_BINARY_DIR}/installer/x86/Lumetra.clap)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/Lumetra.nsi.in ${PROJECT_BINARY_DIR}/Lumetra.nsi @ONLY)
    add_custom_command(OUTPUT ${installer}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/installer/x64 ${PROJECT_BINARY_DIR}/installer/x86
        COMMAND ${CMAKE_STRIP} -o ${DLL64} $<TARGET_FILE:Lumetra>
        COMMAND ${CMAKE_STRIP} -o ${DLL32} ${LUMETRA_WIN32_DLL}
        COMMAND ${CMAKE_STRIP} -o ${CLAP64} $<TARGET_FILE:LumetraClap>
        COMMAND ${CMAKE_STRIP} -o ${CLAP32} ${win32Tree}/Lumetra.clap
        COMMAND ${LUMETRA_MAKENSIS} -V2 -NOCD ${PROJECT_BINARY_DIR}/Lumetra.nsi
        DEPENDS Lumetra LumetraClap ${PROJECT_BINARY_DIR}/Lumetra.nsi ${LUMETRA_WIN32_DLL} ${win32Tree}/Lumetra.clap
                ${PROJECT_BINARY_DIR}/LICENSE.txt
        VERBATIM)
    add_custom_target(installer DEPENDS ${installer})
endif()
