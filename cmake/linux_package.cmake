# The Linux release archive (cpack from the release build folder):
# script-corvaldo-<version>-linux-<arch>.tar.gz with the binary, a read-me and
# the licence in one top-level folder.
install(TARGETS script-corvaldo RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/README-linux.txt DESTINATION . RENAME README)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE DESTINATION .)
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" corvaldo_package_arch)
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME script-corvaldo)
set(CPACK_PACKAGE_VENDOR "Script Corvaldo")
set(CPACK_PACKAGE_FILE_NAME "script-corvaldo-${PROJECT_VERSION}-linux-${corvaldo_package_arch}")
set(CPACK_STRIP_FILES ON)
include(CPack)
