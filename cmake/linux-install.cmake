# The Linux installation (GNUInstallDirs) and its Debian package (CPack DEB): the two programs, the shipped data
# files as the defaults of the user's data folder, the desktop entry, the icons, the AppStream metainfo, the manual
# pages and the package documentation.
include(GNUInstallDirs)
set(pkg ${CMAKE_SOURCE_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

install(TARGETS valumat valumat-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(file IN LISTS VALUMAT_DATA_FILES)
    get_filename_component(sub ${file} DIRECTORY)
    install(FILES ${CMAKE_SOURCE_DIR}/data/${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/valumat/${sub})
endforeach()
# valumat-kwin.desktop: KWin 5.27 grants fake input to a program whose desktop file has its full path, without
# arguments, as Exec= (the menu entry starts it with /config).
install(FILES ${pkg}/linux/valumat.desktop ${pkg}/linux/valumat-kwin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${pkg}/linux/example.valumat.Valumat.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${pkg}/icons/hicolor/${size}x${size}/valumat.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${pkg}/icons/valumat.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog compressed as Debian wants them (gzip -9, no name or time stamp inside).
set(compressed)
foreach(source valumat.1 valumat-convert.1 changelog)
    set(out ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                       COMMAND gzip -9n -c ${pkg}/linux/${source} > ${out}
                       DEPENDS ${pkg}/linux/${source} VERBATIM)
    list(APPEND compressed ${out})
endforeach()
add_custom_target(valumat_packaging_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/valumat.1.gz ${CMAKE_BINARY_DIR}/packaging/valumat-convert.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${pkg}/linux/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/valumat)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME valumat)
set(CPACK_PACKAGE_VENDOR Valumat)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Valumat <info@valumat.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.valumat.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so the libraries' dependencies do not name them: the X11 and the Wayland platform
# plug-ins (a Wayland session uses the latter).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert selected currency amounts with a key combination")
# The long description (CPack puts the summary before it and indents every line by one space).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Valumat converts currency amounts in place, in whatever application you are
working in. Select an amount in an editor, a word processor or a spreadsheet
cell and press a key combination such as Ctrl+D: the amount is replaced by
its value in another currency and the clipboard is left as it was. Rates are
held against the Euro. The program sits in the notification area; its
window speaks German. valumat-convert does the same on the command line.
.
Deutsch: Valumat rechnet markierte Währungsbeträge in jeder Anwendung per
Tastenkombination um (zum Beispiel Strg+D: 100 Euro werden 195,58 DM) und
lässt die Zwischenablage, wie sie war. Die Kurse gelten gegenüber dem Euro;
das Programm sitzt im Infobereich der Taskleiste.")
include(CPack)
