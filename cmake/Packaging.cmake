# Where `cmake --install` puts the programs, and the Debian package CPack makes of them.
include(GNUInstallDirs)
# Folders the install makes are 755 whatever the umask, as Debian wants and as every build of the
# package must give.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(ZELFIN_PROGRAMS zelfin-cli zelfin-pack)
install(TARGETS zelfin-cli zelfin-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZELFIN_QT)
  list(APPEND ZELFIN_PROGRAMS zelfin zelfin-demo)
  install(TARGETS zelfin zelfin-demo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zelfin.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/zelfin.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The pkexec action: polkit reads actions from its own folder only, whatever the prefix, and
  # the action names the program where this install puts it. The prefix is known only at install
  # time (`--prefix`, or CPack's /usr), so the file is written then.
  set(ZELFIN_POLKIT_ACTIONS_DIR /usr/share/polkit-1/actions CACHE PATH
    "Where the pkexec action of the window program is installed (polkit reads only its own)")
  set(policy ${PROJECT_BINARY_DIR}/polkit/org.zelfin.zelfin.policy)
  install(CODE "
    set(ZELFIN_INSTALLED_PROGRAM \"${CMAKE_INSTALL_BINDIR}/zelfin\")
    if(NOT IS_ABSOLUTE \"\${ZELFIN_INSTALLED_PROGRAM}\")
      set(ZELFIN_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/\${ZELFIN_INSTALLED_PROGRAM}\")
    endif()
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/zelfin.policy.in\" \"${policy}\" @ONLY)")
  install(FILES ${policy} DESTINATION ${ZELFIN_POLKIT_ACTIONS_DIR})
endif()

# Manual pages, and the changelog of the package, compressed as Debian wants them: -9, and -n so
# the same sources give the same bytes.
set(docs ${PROJECT_BINARY_DIR}/doc)
set(gzipped)
foreach(program ${ZELFIN_PROGRAMS})
  list(APPEND gzipped "packaging/man/${program}.1" "man/${program}.1.gz")
endforeach()
list(APPEND gzipped packaging/changelog changelog.Debian.gz)
install(CODE "
  set(pairs \"${gzipped}\")
  while(pairs)
    list(POP_FRONT pairs source target)
    get_filename_component(folder \"${docs}/\${target}\" DIRECTORY)
    file(MAKE_DIRECTORY \"\${folder}\")
    execute_process(COMMAND gzip -9n -c \"${PROJECT_SOURCE_DIR}/\${source}\"
      OUTPUT_FILE \"${docs}/\${target}\" COMMAND_ERROR_IS_FATAL ANY)
  endwhile()")
foreach(program ${ZELFIN_PROGRAMS})
  install(FILES ${docs}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${docs}/changelog.Debian.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelfin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME zelfin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelfin)
set(CPACK_PACKAGE_VENDOR "Zelfin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware update utility for the BRYMOTE DVDRW RVM-270A")
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zelfin writes new firmware into BRYMOTE DVDRW RVM-270A optical drives.
A vendor packs the firmware into a copy of the program with zelfin-pack;
the copy lists the machine's optical drives, says which of them its
package can update, and updates them.

This package holds the window program zelfin (an unfilled template that
holds no firmware until it is packed), the terminal program zelfin-cli,
the packing tool zelfin-pack, and zelfin-demo, which shows a whole update
on a simulated machine without touching a drive.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zelfin developers <maintainers@zelfin.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The package's own revision: its changelog is changelog.Debian.gz, whose first entry it must be.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^zelfin \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/changelog does not begin with version "
    "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}: ${changelog_top}")
endif()
# The window program asks for its rights through pkexec; without it, it says how to get them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pkexec)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# CPack stamps every file and archive member with SOURCE_DATE_EPOCH; this file sets it to the
# commit's time when the caller has not, so a package of one commit has one set of bytes.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackCommitTime.cmake)
set(CPACK_ZELFIN_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
