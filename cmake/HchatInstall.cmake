# `cmake --install`: the program and the server in bin/, the web pane plugin
# and the shipped data in folders of their own, and what a desktop needs to
# offer the program in its menus and software centre.
install(TARGETS hchat hchat-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET hchat_webpane)
  install(TARGETS hchat_webpane LIBRARY DESTINATION ${HCHAT_INSTALL_PLUGINDIR})
endif()
install(FILES ${HCHAT_OUTPUT_DIR}/chat.dll DESTINATION ${HCHAT_INSTALL_DATADIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/Media/ DESTINATION ${HCHAT_INSTALL_DATADIR}/Media)
# Help and the web button open these when the web site can't be reached.
install(DIRECTORY ${HCHAT_OUTPUT_DIR}/web/ DESTINATION ${HCHAT_INSTALL_DATADIR}/web)
# Remote support runs these from beside the shipped data.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/data/halvexhelp ${PROJECT_SOURCE_DIR}/data/tv.sh
        DESTINATION ${HCHAT_INSTALL_DATADIR})

set(desktop ${PROJECT_SOURCE_DIR}/data/desktop)
configure_file(${desktop}/${HCHAT_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${HCHAT_APP_ID}.metainfo.xml @ONLY)
install(FILES ${desktop}/${HCHAT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop}/${HCHAT_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/${HCHAT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# `make package`: a Debian package. Its Depends are the Debian packages of the
# libraries the program links (found by dpkg-shlibdeps) and of the plugins Qt
# loads at run time, which no linker sees.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvex-chat)
string(REPLACE "-" "" version_date ${HCHAT_VERSION_DATE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}+${version_date})
set(CPACK_PACKAGE_VENDOR Halvex)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chat rooms for customers and support staff")
set(CPACK_PACKAGE_DESCRIPTION
  "Halvex Chat is where customers and staff meet in numbered chat rooms: the
transcripts of a room and a watched second room, the members present, an entry
line and a web pane for posted links. The package also holds hchat-server, a
small chat server for a team's own network.")
set(CPACK_PACKAGE_CONTACT "Halvex Chat developers <chat@halvex.invalid>" CACHE STRING "Package maintainer")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-speech-flite-plugin, libqt6svg6, qml6-module-qtwebengine, qml6-module-qtquick,
     qml6-module-qtqml-workerscript")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pkexec")
set(CPACK_STRIP_FILES ON)
include(CPack)
