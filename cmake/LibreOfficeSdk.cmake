# The LibreOffice SDK: C++ headers generated from the installed type libraries
# with cppumaker, the SDK's include folder and its UNO runtime libraries.
# Sets LIBREOFFICE_FOUND and the imported target LibreOffice::Uno. With
# YANHE_LIBREOFFICE off nothing is looked for and the tool builds without the
# LibreOffice engine (a Windows build with the COM engines only).

if(NOT YANHE_LIBREOFFICE)
  set(LIBREOFFICE_FOUND OFF)
  message(STATUS "LibreOffice engine: off (YANHE_LIBREOFFICE)")
  return()
endif()

find_path(LIBREOFFICE_PROGRAM_DIR types.rdb
  HINTS ENV YANHE_LIBREOFFICE_PROGRAM
  PATHS /usr/lib/libreoffice/program /usr/lib64/libreoffice/program /opt/libreoffice/program
        "$ENV{ProgramFiles}/LibreOffice/program"
  NO_DEFAULT_PATH)
find_path(LIBREOFFICE_SDK_DIR include/sal/config.h
  HINTS ENV YANHE_LIBREOFFICE_SDK
  PATHS /usr/lib/libreoffice/sdk /usr/lib64/libreoffice/sdk /opt/libreoffice/sdk "$ENV{ProgramFiles}/LibreOffice/sdk"
  NO_DEFAULT_PATH)
find_program(LIBREOFFICE_CPPUMAKER cppumaker HINTS ${LIBREOFFICE_SDK_DIR}/bin NO_DEFAULT_PATH)

if(LIBREOFFICE_PROGRAM_DIR AND LIBREOFFICE_SDK_DIR AND LIBREOFFICE_CPPUMAKER)
  set(LIBREOFFICE_FOUND ON)
  set(UNO_HEADERS ${CMAKE_BINARY_DIR}/uno-headers)
  file(MAKE_DIRECTORY ${UNO_HEADERS})
  add_custom_command(
    OUTPUT ${UNO_HEADERS}/stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${UNO_HEADERS}/com
    COMMAND ${LIBREOFFICE_CPPUMAKER} -Gc -O${UNO_HEADERS}
            ${LIBREOFFICE_PROGRAM_DIR}/types.rdb ${LIBREOFFICE_PROGRAM_DIR}/types/offapi.rdb
    COMMAND ${CMAKE_COMMAND} -E touch ${UNO_HEADERS}/stamp
    DEPENDS ${LIBREOFFICE_PROGRAM_DIR}/types.rdb ${LIBREOFFICE_PROGRAM_DIR}/types/offapi.rdb
    COMMENT "Generating the UNO C++ headers with cppumaker"
    VERBATIM)
  add_custom_target(uno_headers DEPENDS ${UNO_HEADERS}/stamp)

  add_library(LibreOffice::Uno INTERFACE IMPORTED)
  # The headers are not ours: no warnings from them.
  target_include_directories(LibreOffice::Uno SYSTEM INTERFACE ${UNO_HEADERS} ${LIBREOFFICE_SDK_DIR}/include)
  if(WIN32)
    target_compile_definitions(LibreOffice::Uno INTERFACE WNT CPPU_ENV=msci)
  else()
    target_compile_definitions(LibreOffice::Uno INTERFACE LINUX UNX CPPU_ENV=gcc3)
  endif()
  target_link_directories(LibreOffice::Uno INTERFACE ${LIBREOFFICE_SDK_DIR}/lib)
  if(WIN32)
    # The SDK's import libraries; at run time the DLLs come from LibreOffice's program folder on PATH.
    target_link_libraries(LibreOffice::Uno INTERFACE icppu icppuhelper isal isalhelper)
  else()
    target_link_libraries(LibreOffice::Uno INTERFACE uno_cppu uno_cppuhelpergcc3 uno_sal uno_salhelpergcc3)
    target_link_options(LibreOffice::Uno INTERFACE "-Wl,-rpath,${LIBREOFFICE_PROGRAM_DIR}")
  endif()
  message(STATUS "LibreOffice: ${LIBREOFFICE_PROGRAM_DIR}, SDK ${LIBREOFFICE_SDK_DIR}")
else()
  set(LIBREOFFICE_FOUND OFF)
  message(WARNING "LibreOffice and its SDK were not found: the tool builds without the LibreOffice engine "
                  "(-DYANHE_LIBREOFFICE=OFF says so on purpose)")
endif()
