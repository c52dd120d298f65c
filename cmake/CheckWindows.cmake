# check-windows: compiles every source of a Windows build (the COM engines, no
# LibreOffice engine) with the MinGW-w64 cross compiler, syntax only, so that the
# Windows-only code fails the build here as it would there. The project is
# configured for Windows in its own build tree (windows-check/) with the same
# CMakeLists, so its Windows branches choose the sources and definitions.

find_program(YANHE_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(CMAKE_CROSSCOMPILING)
  return()
endif()

# Qt's host tools (moc, rcc) and package files come from this machine's Qt.
string(REGEX REPLACE "/lib/.*$" "" YANHE_QT_HOST_PREFIX "${Qt6_DIR}")
cmake_path(GET Qt6_DIR PARENT_PATH YANHE_QT_CMAKE_DIR)

set(YANHE_WINDOWS_CHECK_DIR ${CMAKE_BINARY_DIR}/windows-check)
if(YANHE_MINGW_CXX)
  add_custom_target(check-windows
    COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${YANHE_WINDOWS_CHECK_DIR} -G ${CMAKE_GENERATOR}
            -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/MinGW-w64.toolchain.cmake
            -DCMAKE_PROJECT_INCLUDE=${PROJECT_SOURCE_DIR}/cmake/WindowsSyntaxCheck.cmake
            -DCMAKE_BUILD_TYPE=Release
            -DQT_HOST_PATH=${YANHE_QT_HOST_PREFIX} -DQT_HOST_PATH_CMAKE_DIR=${YANHE_QT_CMAKE_DIR}
            -DQt6_DIR=${Qt6_DIR} -Dpugixml_DIR=${pugixml_DIR}
            -DYANHE_LIBREOFFICE=OFF -DBUILD_TESTING=ON
    COMMAND ${CMAKE_COMMAND} --build ${YANHE_WINDOWS_CHECK_DIR}
    COMMENT "Compiling the Windows build's sources with MinGW-w64 (syntax only)"
    USES_TERMINAL VERBATIM)
else()
  add_custom_target(check-windows
    COMMAND ${CMAKE_COMMAND} -E echo
            "check-windows needs the MinGW-w64 cross compiler: apt-get install g++-mingw-w64-x86-64-posix"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
