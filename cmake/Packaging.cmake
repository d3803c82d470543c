# Installing as Linux hosts expect: the module where they look for VST 2.4 plug-ins, the tool in
# bin. System-wide the module goes to lib/vst under the prefix (/usr/lib/vst in the Debian package,
# /usr/local/lib/vst by default); `./setup.sh install` puts it into ~/.vst for one user.
set(LUMETRA_VST_DIR "lib/vst" CACHE STRING "Where the module is installed, relative to the prefix")
install(TARGETS Lumetra LIBRARY DESTINATION ${LUMETRA_VST_DIR} COMPONENT plugin)
# The CLAP module where CLAP hosts look: lib/clap under the prefix (/usr/lib/clap in the package).
set(LUMETRA_CLAP_DIR "lib/clap" CACHE STRING "Where the CLAP module is installed, relative to the prefix")
install(TARGETS LumetraClap LIBRARY DESTINATION ${LUMETRA_CLAP_DIR} COMPONENT plugin)
install(TARGETS lumetra RUNTIME DESTINATION bin COMPONENT tool)
# The LV2 bundle where LV2 hosts look: lib/lv2/Lumetra.lv2 under the prefix (/usr/lib/lv2 in the
# Debian package); `./setup.sh install` puts it into ~/.lv2.
if(TARGET Lumetra_lv2_bundle)
    set(LUMETRA_LV2_DIR "lib/lv2" CACHE STRING "Where the LV2 bundle goes, relative to the prefix")
    install(TARGETS Lumetra_lv2 Lumetra_lv2_ui LIBRARY DESTINATION ${LUMETRA_LV2_DIR}/Lumetra.lv2 COMPONENT plugin)
    install(DIRECTORY ${LUMETRA_LV2_BUNDLE}/ DESTINATION ${LUMETRA_LV2_DIR}/Lumetra.lv2 COMPONENT plugin
            FILES_MATCHING PATTERN "*.ttl")
endif()

# `cpack` in the build folder: lumetra_<version>_amd64.deb, with the libraries the module and the
# tool link declared as its dependencies (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumetra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumetra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Real-time one-third-octave spectrum analyzer (VST 2.4 and CLAP plug-in)")
set(CPACK_PACKAGE_DESCRIPTION
    "A VST 2.4 effect that passes audio through untouched and shows its spectrum in 32 bands from\n16 Hz to 20 kHz, with the lumetra command-line tool that analyses audio files.")
set(CPACK_PACKAGE_CONTACT "Lumetra engineers <engineers@lumetra.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
