# What `cmake --install` puts into a prefix: the programs, the generated content
# where an installed presentation finds it, the manual pages, and the sound
# library and the scene engine as static libraries with their headers, a CMake
# package (find_package(Demo CONFIG): Demo::sound, Demo::engine) and a pkg-config
# file each (demo-sound, demo-engine). The build tree works as before.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(DEMO_VERSION ${PROJECT_VERSION})
set(demo_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/demo)
set(demo_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Demo)

install(TARGETS demo democapture sceneinfo sceneview qvrlib mkcontent modplay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${DEMO_CONTENT_DIR}/demo.dat ${DEMO_CONTENT_DIR}/music.s3m DESTINATION ${CMAKE_INSTALL_DATADIR}/demo)
# Every page in man/ when the install runs, by section.
foreach(section 1 6)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/man/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
          FILES_MATCHING PATTERN "*.${section}")
endforeach()

# The sound library needs the Win32 stand-in; the scene engine needs the streams,
# the texture table (gfx) and the accelerator stand-in behind it. Installed names
# carry the project's prefix; the targets keep their short names in the build.
set(demo_libraries sound win32 engine gfx glide stream)
set(demo_header_dirs sound platform/win32 engine gfx platform/glide stream)
foreach(library ${demo_libraries})
  set_target_properties(${library} PROPERTIES OUTPUT_NAME demo-${library} EXPORT_NAME ${library})
  target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${demo_include_dir}>)
  target_compile_features(${library} INTERFACE cxx_std_20)
endforeach()
foreach(dir ${demo_header_dirs})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${demo_include_dir}/${dir} FILES_MATCHING PATTERN "*.h")
endforeach()

install(TARGETS ${demo_libraries} EXPORT DemoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT DemoTargets NAMESPACE Demo:: DESTINATION ${demo_package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/DemoConfig.cmake.in ${PROJECT_BINARY_DIR}/DemoConfig.cmake
                              INSTALL_DESTINATION ${demo_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/DemoConfigVersion.cmake VERSION ${DEMO_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/DemoConfig.cmake ${PROJECT_BINARY_DIR}/DemoConfigVersion.cmake
        DESTINATION ${demo_package_dir})

# pkg-config files that locate the prefix from their own folder, so that a
# prefix chosen at install time (--prefix) or a moved tree still works.
file(RELATIVE_PATH demo_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" demo_pc_to_prefix "${demo_pc_to_prefix}")
set(demo_pc_libdir ${CMAKE_INSTALL_LIBDIR})
set(demo_pc_includedir ${demo_include_dir})
foreach(pc demo-sound demo-engine)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/pkgconfig/${pc}.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
