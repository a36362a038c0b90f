# What `make dist` packs with CPack: the Windows build as a portable zip, the
# Linux build as a Debian package. Only the install rules of the running
# program's folder; tests and benchmarks are not installed.
set(VORNBY_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(VORNBY_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME vornby)
set(CPACK_PACKAGE_VENDOR "The Vornby developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "record a region of the screen to a lossless video")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The folder exactly as the build lays it out, plus a README and the
  # licences; unzipped, it runs where it lands.
  configure_file(${VORNBY_PACKAGING}/README.txt.in ${VORNBY_PACKAGING_OUT}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT ${VORNBY_PACKAGING_OUT}/licenses/stb.txt
    COMMAND python3 ${VORNBY_PACKAGING}/licenses.py ${VORNBY_PACKAGING_OUT}/licenses
    DEPENDS ${VORNBY_PACKAGING}/licenses.py
    VERBATIM)
  add_custom_target(vornby_licenses ALL DEPENDS ${VORNBY_PACKAGING_OUT}/licenses/stb.txt)

  install(TARGETS vornby RUNTIME DESTINATION .)
  install(FILES ${VORNBY_RUN_DIR}/font.otf ${VORNBY_RUN_DIR}/icons.png ${VORNBY_RUN_DIR}/Config.txt
                ${VORNBY_PACKAGING_OUT}/README.txt
          DESTINATION .)
  install(DIRECTORY DESTINATION output)
  install(DIRECTORY ${VORNBY_PACKAGING_OUT}/licenses DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vornby-${PROJECT_VERSION}-windows-x64)
else()
  # The program in /usr/bin, its assets in /usr/share/vornby, and what a
  # desktop and Debian expect around it.
  add_custom_command(OUTPUT ${VORNBY_PACKAGING_OUT}/icons/16x16/apps/vornby.png
    COMMAND python3 ${CMAKE_SOURCE_DIR}/assets/make_icons.py --app-icons ${VORNBY_PACKAGING_OUT}/icons
    DEPENDS ${CMAKE_SOURCE_DIR}/assets/make_icons.py
    VERBATIM)
  configure_file(${VORNBY_PACKAGING}/vornby.1.in ${VORNBY_PACKAGING_OUT}/vornby.1 @ONLY)
  configure_file(${VORNBY_PACKAGING}/changelog.in ${VORNBY_PACKAGING_OUT}/changelog @ONLY)
  # Debian wants both compressed, without the timestamp gzip would store.
  foreach(name vornby.1 changelog)
    add_custom_command(OUTPUT ${VORNBY_PACKAGING_OUT}/${name}.gz
      COMMAND sh -c "gzip -9n < ${name} > ${name}.gz"
      WORKING_DIRECTORY ${VORNBY_PACKAGING_OUT}
      DEPENDS ${VORNBY_PACKAGING_OUT}/${name}
      VERBATIM)
  endforeach()
  add_custom_target(vornby_package_files ALL DEPENDS
    ${VORNBY_PACKAGING_OUT}/icons/16x16/apps/vornby.png
    ${VORNBY_PACKAGING_OUT}/vornby.1.gz ${VORNBY_PACKAGING_OUT}/changelog.gz)

  # The font is Debian's own fonts-inter, linked rather than copied.
  file(CREATE_LINK ../fonts/opentype/inter/Inter-Regular.otf ${VORNBY_PACKAGING_OUT}/font.otf SYMBOLIC)
  file(RELATIVE_PATH VORNBY_FONT_FROM_SHARE /usr/share/vornby ${VORNBY_FONT})
  if(NOT VORNBY_FONT_FROM_SHARE STREQUAL "../fonts/opentype/inter/Inter-Regular.otf")
    message(FATAL_ERROR "the packaged font link does not lead to ${VORNBY_FONT}")
  endif()

  install(TARGETS vornby RUNTIME DESTINATION bin)
  install(FILES ${VORNBY_PACKAGING_OUT}/font.otf ${VORNBY_RUN_DIR}/icons.png ${VORNBY_RUN_DIR}/Config.txt
          DESTINATION share/vornby)
  install(FILES ${VORNBY_PACKAGING}/vornby.desktop DESTINATION share/applications)
  install(DIRECTORY ${VORNBY_PACKAGING_OUT}/icons/ DESTINATION share/icons/hicolor)
  install(FILES ${VORNBY_PACKAGING_OUT}/vornby.1.gz DESTINATION share/man/man1)
  install(FILES ${VORNBY_PACKAGING}/copyright ${VORNBY_PACKAGING_OUT}/changelog.gz
          DESTINATION share/doc/vornby)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER
      "Vornby maintainers <maintainers@users.noreply.c-seed-bb777490.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_DESCRIPTION
"Vornby shows a dashed frame around a region of the screen and a small
control panel beside it. Pressing its record button starts ffmpeg's x11grab
on exactly that region, writing a lossless H.264 video; the frame rate, a
start delay, the mouse pointer and an audio source are chosen on the panel.
It needs an X11 session.")
  # The X libraries are found from the binary; the encoder it starts and the
  # font it links to are not, and without xdg-open the folder button does nothing.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, fonts-inter")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, xdg-user-dirs")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
