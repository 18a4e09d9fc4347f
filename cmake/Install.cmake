# What `cmake --install` puts under the prefix, and the Debian package that
# `cpack -G DEB` makes of it.
include(GNUInstallDirs)

# Whatever the umask of whoever installs or packages.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VIZIRO_DIST ${CMAKE_SOURCE_DIR}/dist)
install(TARGETS viziro viziro-index RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/builtin.list DESTINATION ${CMAKE_INSTALL_DATADIR}/viziro)
install(FILES ${VIZIRO_DIST}/viziro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VIZIRO_DIST}/example.verovo.viziro.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VIZIRO_DIST}/viziro-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME viziro.xml)
# dist/icons/<size>.png, made by dist/make-icons.sh.
file(GLOB _icons ${VIZIRO_DIST}/icons/*.png)
foreach(icon ${_icons})
  get_filename_component(size ${icon} NAME_WE)
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME viziro.png)
endforeach()

# Debian wants the copyright and a compressed changelog in the doc folder,
# and a compressed manual page for each program.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(_gzipped)
foreach(page changelog man/viziro.1 man/viziro-index.1)
  set(_out ${CMAKE_BINARY_DIR}/dist/${page})
  configure_file(${VIZIRO_DIST}/${page}.in ${_out} @ONLY)
  add_custom_command(OUTPUT ${_out}.gz COMMAND ${GZIP_PROGRAM} -9nkf ${_out} DEPENDS ${_out})
  list(APPEND _gzipped ${_out}.gz)
endforeach()
add_custom_target(viziro_dist_pages ALL DEPENDS ${_gzipped})
install(FILES ${VIZIRO_DIST}/copyright ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/viziro)
install(FILES ${CMAKE_BINARY_DIR}/dist/man/viziro.1.gz ${CMAKE_BINARY_DIR}/dist/man/viziro-index.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME viziro)
set(CPACK_PACKAGE_VENDOR Verovo)
set(CPACK_PACKAGE_CONTACT "Verovo <viziro@verovo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "advanced PHP projects editor")
# Wrapped as Debian's control file wants it.
set(CPACK_PACKAGE_DESCRIPTION [[
Viziro is a desktop editor for PHP, HTML and text files, organised in
projects. It edits files in tabs with PHP syntax highlighting, line
numbers and bookmarks, and understands the whole project through a light
analysis of its PHP sources: a list of the functions of the current file,
completion of known function names, Go To Declaration, opening of included
files and a call graph. Find and replace works on the current document, on
every open document or on the whole project.]])
set(CPACK_PACKAGE_HOMEPAGE_URL https://verovo.example/viziro)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
