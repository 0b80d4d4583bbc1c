# cmake --install: the program in bin/, its shared libraries in lib/tunova/, its data in
# share/tunova/ and a desktop entry. The engine loads the channel libraries from the program's
# folder, so bin/ holds links to them.
include(GNUInstallDirs)

set(TUNOVA_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tunova)
set(_tunova_libs)
foreach(_lib tunova_linkora tunova_bstr tunova_gvtcli TcAdsDll)
  if(TARGET ${_lib})
    get_target_property(_type ${_lib} TYPE)
    if(_type STREQUAL "SHARED_LIBRARY")
      list(APPEND _tunova_libs ${_lib})
      set_target_properties(${_lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
    endif()
  endif()
endforeach()

if(TARGET tunova)
  set_target_properties(tunova PROPERTIES INSTALL_RPATH "$ORIGIN/../${TUNOVA_PRIVATE_LIBDIR}")
  install(TARGETS tunova RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS ${_tunova_libs} LIBRARY DESTINATION ${TUNOVA_PRIVATE_LIBDIR})
  foreach(_name Linkora TcAdsDll)
    install(CODE "
      file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(CREATE_LINK \"../${TUNOVA_PRIVATE_LIBDIR}/lib${_name}.so\"
           \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lib${_name}.so\" SYMBOLIC)")
  endforeach()
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/app/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tunova)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/app/res/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tunova/res
          FILES_MATCHING PATTERN "*.png" PATTERN "*.xml")
  install(FILES ${CMAKE_SOURCE_DIR}/app/res/128-tunova.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
          RENAME tunova.png)
  install(FILES ${CMAKE_SOURCE_DIR}/app/tunova.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
