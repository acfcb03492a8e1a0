# `cmake --install` into a fresh prefix puts the command-line tool in its
# bin/ folder, and the installed tool runs from there; the desktop file
# types land in share/mime/packages, the thumbnailer beside the tool.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()
set(installed "${PREFIX}/bin/zepcon-cli")
if(NOT EXISTS "${installed}" OR IS_DIRECTORY "${installed}")
  message(FATAL_ERROR "zepcon-cli is not in ${PREFIX}/bin:\n${output}")
endif()
# The desktop file types go where shared-mime-info looks for packages.
if(NOT EXISTS "${PREFIX}/share/mime/packages/zepcon-mime.xml")
  message(FATAL_ERROR "zepcon-mime.xml is not in ${PREFIX}/share/mime/packages:\n${output}")
endif()
# The thumbnailer and the entry that tells the desktop about it.
if(NOT EXISTS "${PREFIX}/bin/zepcon-thumbnailer" OR NOT EXISTS "${PREFIX}/share/thumbnailers/zepcon.thumbnailer")
  message(FATAL_ERROR "the thumbnailer or its entry is not installed:\n${output}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "HOME=${PREFIX}/home" "XDG_CONFIG_HOME=${PREFIX}/config"
                        "${installed}" formats
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT output MATCHES "\n18\tOFF\tOff text\t")
  message(FATAL_ERROR "the installed zepcon-cli does not run (${result}):\n${output}${errors}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
