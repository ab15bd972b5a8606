# An installation stands on its own: `cmake --install` into an empty folder gives the programs,
# the libraries and every screen package where the loader looks for them (bin/../lib), the
# programs find their libraries there and not in the build tree, and the server runs.
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<empty folder> -P install_tree.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ended with status ${status}")
endif()

foreach(file bin/ore-host bin/ore-server lib/libcore.so lib/libhost.so lib/libPkg_ore06400.so lib/libPkg_ore00402.so
             lib/libPkg_ore00105.so lib/libPkg_ore00406.so lib/libPkg_ore09000.so lib/libPkg_ore00610.so lib/libPkg_ore06700.so
             share/doc/ore06400/README.md share/doc/ore06400/architecture.md)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "the installation lacks ${file}")
  endif()
endforeach()

foreach(program ore-host ore-server)
  execute_process(COMMAND ldd "${PREFIX}/bin/${program}" OUTPUT_VARIABLE libraries)
  if(libraries MATCHES "not found" OR libraries MATCHES "${BUILD_DIR}/lib")
    message(FATAL_ERROR "${program} does not find its libraries in the installation:\n${libraries}")
  endif()
  if(NOT libraries MATCHES "${PREFIX}/bin/../lib/libcore.so")
    message(FATAL_ERROR "${program} does not take libcore from the installation:\n${libraries}")
  endif()
endforeach()

# The server creates a store's schema and reads its (empty) journal.
execute_process(COMMAND "${PREFIX}/bin/ore-server" journal --db "sqlite:${PREFIX}/journal.db" RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the installed ore-server ended with status ${status}: ${out}${err}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
