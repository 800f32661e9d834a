# Installation and the pkg-config and CMake packages.  The Debian packages
# (debian/, made by scripts/make-debs) take these files as they are installed.
#
# Four components, so that a target image takes only what it runs:
#   runtime  libarkblade.so.1
#   dev      arkblade.h, the libarkblade.so link, arkblade.pc, the CMake package,
#            the man 3 pages
#   tools    arkbctl and its man page, and the trace library
#            <libdir>/arkblade/libarkblade-trace.so.1 (trace/CMakeLists.txt)
#            (also in the library-only build, with ARKBLADE_TOOLS=ON)
#   sim      the simulated SP platform (libarksim_core and the eight stand-ins,
#            in <libdir>/arksim), arksim, arkcmm and their man pages
#
# The stand-ins carry the sonames of the real SP's platform libraries; kept in
# a folder of their own they never shadow those.  `arksim run` hands that folder
# to the programs it runs through LD_LIBRARY_PATH.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ARKSIM_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/arksim)
file(RELATIVE_PATH ARKB_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH ARKB_BIN_TO_SIMLIB ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${ARKSIM_INSTALL_LIBDIR})

# Run paths of the installed simulator, relative so that the tree can move.
# libarkblade itself gets none: on the SP the platform libraries are the
# system's own.
if(TARGET arkbctl)
  set_target_properties(arkbctl PROPERTIES INSTALL_RPATH "$ORIGIN/${ARKB_BIN_TO_LIB}")
endif()
if(ARKBLADE_SIM)
  set_target_properties(arksim arkcmm PROPERTIES INSTALL_RPATH "$ORIGIN/${ARKB_BIN_TO_SIMLIB}")
  set_target_properties(${ARKSIM_PLATFORM_LIBS} PROPERTIES INSTALL_RPATH "$ORIGIN")
  # arksim run points the programs it runs at the installed stand-ins, the
  # installed libarkblade.so.1 and the arkbctl beside it.
  target_compile_definitions(arksim PRIVATE ARKSIM_INSTALLED_LIBDIR="${ARKB_BIN_TO_SIMLIB}"
    ARKSIM_INSTALLED_ARKBLADE_LIBDIR="${ARKB_BIN_TO_LIB}")
endif()

install(TARGETS arkblade
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/arkblade.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

# man 3: written at build time (man/man3/mkpages.awk) from their sources,
# man/man3/PAGE.txt, and the declarations and one-line comments of the
# header; it fails the build when an exported name lacks its comment or its
# entry.  libarkblade(3), a page per family ("(man 3 PAGE)" in the header)
# and a ".so" link page per exported name.  The build for an SP image
# (ARKBLADE_SIM=OFF) installs only what a sysroot links against.
option(ARKBLADE_MAN3 "Write and install the man 3 pages" ${ARKBLADE_SIM})
if(ARKBLADE_MAN3)
  find_program(ARKB_AWK NAMES mawk gawk awk REQUIRED)
  set(ARKB_HEADER ${PROJECT_SOURCE_DIR}/include/arkblade.h)
  set(ARKB_NAMES_FILE ${PROJECT_SOURCE_DIR}/src/exported-names.txt)
  file(GLOB ARKB_MAN3_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/man3/*.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARKB_HEADER} ${ARKB_NAMES_FILE})
  file(STRINGS ${ARKB_NAMES_FILE} ARKB_EXPORTED_NAMES REGEX "^[A-Za-z_]")
  file(STRINGS ${ARKB_HEADER} ARKB_MAN3_FAMILIES REGEX "^ \\* == .* ==  \\(man 3 [a-z-]+\\)$")
  list(TRANSFORM ARKB_MAN3_FAMILIES REPLACE ".*\\(man 3 ([a-z-]+)\\)$" "\\1")
  set(ARKB_MAN3_DIR ${PROJECT_BINARY_DIR}/man3)
  set(ARKB_MAN3_PAGES ${ARKB_MAN3_DIR}/libarkblade.3)
  foreach(page IN LISTS ARKB_MAN3_FAMILIES ARKB_EXPORTED_NAMES)
    list(APPEND ARKB_MAN3_PAGES ${ARKB_MAN3_DIR}/${page}.3)
  endforeach()
  string(TIMESTAMP ARKB_MAN_DATE "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH when set
  add_custom_command(OUTPUT ${ARKB_MAN3_PAGES}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${ARKB_MAN3_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARKB_MAN3_DIR}
    COMMAND ${ARKB_AWK} -v names=${ARKB_NAMES_FILE} -v out=${ARKB_MAN3_DIR} -v version=${PROJECT_VERSION}
            -v date=${ARKB_MAN_DATE} -f ${PROJECT_SOURCE_DIR}/man/man3/mkpages.awk ${ARKB_MAN3_SOURCES}
            ${ARKB_HEADER}
    DEPENDS ${ARKB_HEADER} ${ARKB_NAMES_FILE} ${ARKB_MAN3_SOURCES} ${PROJECT_SOURCE_DIR}/man/man3/mkpages.awk
    COMMENT "man 3 pages from man/man3 and include/arkblade.h" VERBATIM)
  add_custom_target(arkblade_man3 ALL DEPENDS ${ARKB_MAN3_PAGES})
  # Built with the library, so that building it alone checks its comments too.
  add_dependencies(arkblade arkblade_man3)
  install(FILES ${ARKB_MAN3_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev)
endif()

# pkg-config, relocatable: the prefix is found from the .pc file's folder.
file(RELATIVE_PATH ARKB_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ARKB_PC_TO_PREFIX "${ARKB_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/arkblade.pc.in ${PROJECT_BINARY_DIR}/arkblade.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/arkblade.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# CMake package: find_package(arkblade) gives arkblade::arkblade.  The
# imported target is written out by hand (cmake/arkbladeConfig.cmake.in):
# an exported one would drag the simulator's libraries, which libarkblade
# links against here, into the package.
set(ARKB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/arkblade)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/arkbladeConfig.cmake.in
  ${PROJECT_BINARY_DIR}/arkbladeConfig.cmake INSTALL_DESTINATION ${ARKB_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR ARKSIM_INSTALL_LIBDIR)
# Same major version: soname 1 keeps its interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/arkbladeConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/arkbladeConfig.cmake ${PROJECT_BINARY_DIR}/arkbladeConfigVersion.cmake
  DESTINATION ${ARKB_CMAKE_DIR} COMPONENT dev)

# arkbctl, for the SP and the simulator alike.
if(TARGET arkbctl)
  install(TARGETS arkbctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/man/arkbctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endif()

# The simulator (not in the library-only build).
if(ARKBLADE_SIM)
  install(TARGETS arksim_core ${ARKSIM_PLATFORM_LIBS}
    LIBRARY DESTINATION ${ARKSIM_INSTALL_LIBDIR} COMPONENT sim NAMELINK_SKIP)
  install(TARGETS arksim arkcmm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
  install(FILES ${PROJECT_SOURCE_DIR}/man/arksim.1 ${PROJECT_SOURCE_DIR}/man/arksim-chassis.1
    ${PROJECT_SOURCE_DIR}/man/arksim-show.1 ${PROJECT_SOURCE_DIR}/man/arksim-faults.1
    ${PROJECT_SOURCE_DIR}/man/arksim-run.1 ${PROJECT_SOURCE_DIR}/man/arkcmm.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT sim)
endif()
