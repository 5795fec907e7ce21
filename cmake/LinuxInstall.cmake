# Linux installs: cmake --install puts the program in bin/, the cues in
# share/tarrow-desk/snd, the man page, a desktop entry and an autostart entry
# that users can copy to ~/.config/autostart; CPack makes a .deb of the same.
# The installed program leaves updates to the package manager: the same files,
# with a profile that says it is a package build.
include(GNUInstallDirs)

tarrow_add_program(tarrow-desk-installed VERSION ${TARROW_PROGRAM_VERSION}
  UPDATE_BASE_URL ${TARROW_UPDATE_BASE_URL} TEST_CA_FILE "${TARROW_TEST_CA_FILE}" PACKAGE_BUILD)
set_target_properties(tarrow-desk-installed PROPERTIES OUTPUT_NAME tarrow-desk
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/installed)

install(TARGETS tarrow-desk-installed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB TARROW_CUES ${CMAKE_SOURCE_DIR}/snd/*.wav)
install(FILES ${TARROW_CUES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tarrow-desk/snd)
# What Debian asks of a package's documentation: the man page and the
# changelog compressed (gzip -n, so two builds give the same bytes) and a
# copyright file with the licence of everything compiled in.
set(TARROW_MAINTAINER "Tarrow Desk maintainers <maintainers@users.noreply.c-seed-d4a9a2a0.example>")
set(TARROW_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${TARROW_PACKAGING_DIR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/packaging/linux/tarrow-desk.1 ${CMAKE_SOURCE_DIR}/packaging/linux/copyright.head)
configure_file(packaging/linux/changelog.in ${TARROW_PACKAGING_DIR}/changelog @ONLY)
foreach(pair "packaging/linux/tarrow-desk.1|tarrow-desk.1.gz" "${TARROW_PACKAGING_DIR}/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  execute_process(COMMAND gzip -9 -n -c ${from} WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_FILE ${TARROW_PACKAGING_DIR}/${to} RESULT_VARIABLE gzip_failed)
  if(gzip_failed)
    message(FATAL_ERROR "gzip could not compress ${from}")
  endif()
endforeach()
file(READ packaging/linux/copyright.head TARROW_COPYRIGHT)
# miniaudio: compiled into the program from Debian's libminiaudio-dev.
set(TARROW_MINIAUDIO_COPYRIGHT /usr/share/doc/libminiaudio-dev/copyright)
if(EXISTS ${TARROW_MINIAUDIO_COPYRIGHT})
  file(READ ${TARROW_MINIAUDIO_COPYRIGHT} miniaudio_copyright)
  string(APPEND TARROW_COPYRIGHT "miniaudio (sound output):\n\n${miniaudio_copyright}")
else()
  message(WARNING "no ${TARROW_MINIAUDIO_COPYRIGHT}: the package's copyright file lacks miniaudio's licence")
endif()
file(WRITE ${TARROW_PACKAGING_DIR}/copyright "${TARROW_COPYRIGHT}")
install(FILES ${TARROW_PACKAGING_DIR}/tarrow-desk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TARROW_PACKAGING_DIR}/copyright ${TARROW_PACKAGING_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarrow-desk)
install(FILES packaging/linux/tarrow-desk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/linux/tarrow-desk-autostart.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tarrow-desk/autostart RENAME tarrow-desk.desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarrow-desk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARROW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Speaking hotkeys for processes, monitors and system facts")
set(CPACK_PACKAGE_DESCRIPTION "Tarrow Desk is a small resident utility for people who work a computer
through a screen reader. It has no window: thirty global hotkeys on one
modifier key tell, by speech and short sound cues, which programs run, what
the monitors show and facts of the system such as the processor load, the
memory in use and the battery.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "speech-dispatcher, zenity")
include(CPack)
