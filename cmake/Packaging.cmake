# Where `cmake --install` puts the programs, and the Debian package CPack makes of them.
include(GNUInstallDirs)

install(TARGETS zelfin-cli zelfin-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZELFIN_QT)
  install(TARGETS zelfin zelfin-demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zelfin.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zelfin.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The pkexec action of the packaged program: polkit reads actions from /usr/share only, so it
  # names the program where the package puts it.
  set(ZELFIN_INSTALLED_PROGRAM /usr/${CMAKE_INSTALL_BINDIR}/zelfin)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/zelfin.policy.in
    ${PROJECT_BINARY_DIR}/org.zelfin.zelfin.policy @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/org.zelfin.zelfin.policy
    DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelfin)
set(CPACK_PACKAGE_VENDOR "Zelfin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware update utility for the BRYMOTE DVDRW RVM-270A")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zelfin developers <zelfin@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
