# What `cmake --install` puts under a prefix: the public headers, the shared
# library with its SONAME links, a CMake package (find_package(wenlei) gives
# wenlei::wenlei), a pkg-config file, the bundled resource set and dictionary
# (where the library looks for them, relative to its own file) and the
# command's manual page.  Every file refers to the others by relative paths,
# so an installed tree can be moved as a whole.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(WENLEI_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/wenlei)

install(TARGETS wenlei EXPORT wenleiTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/wenlei
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

# The CMake package.
install(EXPORT wenleiTargets
  NAMESPACE wenlei::
  DESTINATION ${WENLEI_CMAKE_PACKAGE_DIR})
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/wenleiConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cmake/wenleiConfig.cmake
  INSTALL_DESTINATION ${WENLEI_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/cmake/wenleiConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cmake/wenleiConfig.cmake
              ${PROJECT_BINARY_DIR}/cmake/wenleiConfigVersion.cmake
        DESTINATION ${WENLEI_CMAKE_PACKAGE_DIR})

# The pkg-config file finds the prefix from its own folder.  libsvm is only
# a private dependency (a static link needs it) and has no .pc file of its
# own on Debian, hence a plain -lsvm.
file(RELATIVE_PATH WENLEI_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" WENLEI_PC_TO_PREFIX "${WENLEI_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/wenlei.pc.in
               ${PROJECT_BINARY_DIR}/wenlei.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/wenlei.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The bundled resource set, the segmentation dictionary and the stop list
# that training uses unless told otherwise.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/models/help-zh
        DESTINATION ${CMAKE_INSTALL_DATADIR}/wenlei/models)
install(FILES ${PROJECT_SOURCE_DIR}/models/stop-words.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/wenlei/models)
install(FILES ${PROJECT_SOURCE_DIR}/models/dictionary/dict.txt
              ${PROJECT_SOURCE_DIR}/models/dictionary/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/wenlei/models/dictionary)

# wenlei(1), made from docs/usage.md.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/wenlei.1
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/docs/usage_to_man.py
            --version ${PROJECT_VERSION}
            ${PROJECT_SOURCE_DIR}/docs/usage.md ${PROJECT_BINARY_DIR}/wenlei.1
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/docs/usage_to_man.py ${PROJECT_SOURCE_DIR}/docs/usage.md
    COMMENT "Writing the manual page wenlei.1")
  add_custom_target(wenlei_man_page ALL DEPENDS ${PROJECT_BINARY_DIR}/wenlei.1)
  install(FILES ${PROJECT_BINARY_DIR}/wenlei.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "No Python 3: the manual page wenlei.1 is not made")
endif()

if(WENLEI_BUILD_TESTS AND Python3_Interpreter_FOUND)
  add_test(NAME man_page_converter
    COMMAND Python3::Interpreter -m unittest discover -s ${PROJECT_SOURCE_DIR}/scripts/docs
            -p usage_to_man_test.py)
  # The page must format without a single warning.
  add_test(NAME man_page_formats
    COMMAND sh -c "test -z \"$(groff -k -man -Tutf8 -ww -z \"$1\" 2>&1)\"" sh
            ${PROJECT_BINARY_DIR}/wenlei.1)
endif()

# The README's and the usage page's examples, run as written.
if(WENLEI_BUILD_TESTS AND Python3_Interpreter_FOUND AND TARGET wenlei_command)
  add_test(NAME docs_examples
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/docs/test_docs.py ${PROJECT_BINARY_DIR})
endif()

# A short soak run: the shared library driven through ctypes, answers and
# resident memory checked across reloads of the tables.  Not in sanitized
# builds: Python cannot load a library that needs a sanitizer's runtime.
if(WENLEI_BUILD_TESTS AND Python3_Interpreter_FOUND AND NOT WIN32
   AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_test(NAME soak_short
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/hardening/soak.py
            -n 600 --cycle 100 --library $<TARGET_FILE:wenlei>)
endif()

# The shared helpers of the shell scripts.
if(WENLEI_BUILD_TESTS AND NOT WIN32)
  add_test(NAME shell_helpers COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lib/lib_test.sh)
endif()

# The shell scripts: what shellcheck calls an error (sourced helpers
# followed).
find_program(WENLEI_SHELLCHECK shellcheck)
if(WENLEI_BUILD_TESTS AND WENLEI_SHELLCHECK)
  file(GLOB WENLEI_SHELL_SCRIPTS ${PROJECT_SOURCE_DIR}/scripts/lib/*.sh)
  file(GLOB candidates ${PROJECT_SOURCE_DIR}/scripts/*)
  foreach(candidate IN LISTS candidates)
    if(NOT IS_DIRECTORY ${candidate})
      file(STRINGS ${candidate} first_line LIMIT_COUNT 1)
      if(first_line MATCHES "^#!.*bash")
        list(APPEND WENLEI_SHELL_SCRIPTS ${candidate})
      endif()
    endif()
  endforeach()
  add_test(NAME shell_scripts_check
    COMMAND ${WENLEI_SHELLCHECK} -x -S error ${WENLEI_SHELL_SCRIPTS}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()

# Whoever builds the command (as scripts/demo does) can install next: the
# command is installed with the library and the manual page, so building it
# builds them too.
if(TARGET wenlei_command)
  add_dependencies(wenlei_command wenlei)
  if(TARGET wenlei_man_page)
    add_dependencies(wenlei_command wenlei_man_page)
  endif()
endif()
