# Installation: `cmake --install build [--prefix DIR]` puts the program `docket` and the tool `qvn`
# in bin/, the desktop entry in share/applications/ and the icon in the hicolor theme, so that a
# desktop's menu offers "docket" with its picture.
include(GNUInstallDirs)
if(TARGET docket)
  install(TARGETS docket RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/app/docket.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/docket.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(TARGET qvn)
  install(TARGETS qvn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
