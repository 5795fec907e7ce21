# Linux installs: cmake --install puts the program in bin/, the cues in
# share/tarrow-desk/snd, the man page, a desktop entry and an autostart entry
# that users can copy to ~/.config/autostart; CPack makes a .deb of the same.
# The installed program is built without the update check (the package
# manager updates it): only the two files that hold the switch are compiled again.
include(GNUInstallDirs)

add_executable(tarrow-desk-installed src/app/main.cpp src/app/application.cpp src/app/dispatch.cpp)
target_compile_definitions(tarrow-desk-installed PRIVATE TARROW_PACKAGE_BUILD)
target_link_libraries(tarrow-desk-installed PRIVATE tarrow_core tarrow_backend)
target_compile_options(tarrow-desk-installed PRIVATE ${TARROW_WARNINGS})
set_target_properties(tarrow-desk-installed PROPERTIES OUTPUT_NAME tarrow-desk
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/installed)

install(TARGETS tarrow-desk-installed RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB TARROW_CUES ${CMAKE_SOURCE_DIR}/snd/*.wav)
install(FILES ${TARROW_CUES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tarrow-desk/snd)
install(FILES packaging/linux/tarrow-desk.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/linux/tarrow-desk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/linux/tarrow-desk-autostart.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/tarrow-desk/autostart RENAME tarrow-desk.desktop)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarrow-desk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarrow Desk developers <tarrow-desk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Speaking hotkeys for processes, monitors and system facts")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "speech-dispatcher, zenity")
include(CPack)
