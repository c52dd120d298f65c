# Included right after project() (CMAKE_PROJECT_INCLUDE) in the build tree of the
# check-windows target: the project configured for Windows with the MinGW-w64 cross
# compiler, against this machine's Qt headers. Every source is compiled for syntax
# and diagnostics only; objects, libraries and executables are empty stamp files,
# since there is no Qt for Windows to link against.

set(CMAKE_CXX_COMPILE_OBJECT "<CMAKE_CXX_COMPILER> <DEFINES> <INCLUDES> <FLAGS> -fsyntax-only <SOURCE>"
                             "${CMAKE_COMMAND} -E touch <OBJECT>")
set(CMAKE_CXX_ARCHIVE_CREATE "${CMAKE_COMMAND} -E touch <TARGET>")
set(CMAKE_CXX_ARCHIVE_APPEND "${CMAKE_COMMAND} -E touch <TARGET>")
set(CMAKE_CXX_ARCHIVE_FINISH "")
set(CMAKE_CXX_LINK_EXECUTABLE "${CMAKE_COMMAND} -E touch <TARGET>")
set(CMAKE_CXX_CREATE_SHARED_LIBRARY "${CMAKE_COMMAND} -E touch <TARGET>")
set(CMAKE_CXX_CREATE_SHARED_MODULE "${CMAKE_COMMAND} -E touch <TARGET>")

# What Qt's own package files give a Windows build (its Platform target), which
# this machine's Qt, built for Linux, cannot give.
add_compile_definitions(UNICODE _UNICODE WIN32 WIN64 _WIN64 _ENABLE_EXTENDED_ALIGNED_STORAGE
                        MINGW_HAS_SECURE_API=1)

# The package files of this machine's Qt, adapted to a Windows build that is not
# linked: its shared objects stand in for the import libraries that the generator
# insists on, and the host's system headers (/usr/include, named by some of Qt's
# dependencies) must not reach the Windows compiler, which has its own.
# The zip and XML libraries' headers are the same on every platform: they are
# copied from the host into a folder of their own, so that /usr/include stays out.
set(YANHE_PORTABLE_HEADERS ${CMAKE_BINARY_DIR}/portable-headers)
file(COPY /usr/include/zip.h /usr/include/zipconf.h /usr/include/pugixml.hpp /usr/include/pugiconfig.hpp
     DESTINATION ${YANHE_PORTABLE_HEADERS})
function(yanhe_windows_check_adapt_qt)
  get_directory_property(imported DIRECTORY ${CMAKE_SOURCE_DIR} IMPORTED_TARGETS)
  foreach(target IN LISTS imported)
    get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
    if(includes)
      list(REMOVE_ITEM includes /usr/include /usr/local/include)
      if(target MATCHES "LIBZIP|pugixml")
        list(APPEND includes ${YANHE_PORTABLE_HEADERS})
      endif()
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${includes}")
    elseif(target MATCHES "LIBZIP|pugixml")
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${YANHE_PORTABLE_HEADERS})
    endif()
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "SHARED_LIBRARY")
      continue()
    endif()
    get_target_property(configurations ${target} IMPORTED_CONFIGURATIONS)
    foreach(configuration IN LISTS configurations)
      get_target_property(location ${target} IMPORTED_LOCATION_${configuration})
      if(location)
        set_target_properties(${target} PROPERTIES IMPORTED_IMPLIB_${configuration} "${location}"
                                                   IMPORTED_IMPLIB "${location}")
      endif()
    endforeach()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL yanhe_windows_check_adapt_qt)
