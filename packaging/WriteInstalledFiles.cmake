# Runs at install time, when the prefix is final (`cmake --install --prefix` may still change
# it): writes the files that name installed paths into PELKO_OUTPUT_DIR, for the install rules
# that follow. The relative directories come from the configuration (CMakeLists.txt).

set(PELKO_BIN_DIR ${CMAKE_INSTALL_PREFIX}/${PELKO_RELATIVE_BIN_DIR})
set(PELKO_FRONTEND_DIR ${CMAKE_INSTALL_PREFIX}/${PELKO_RELATIVE_FRONTEND_DIR})
set(PELKO_DOC_DIR ${CMAKE_INSTALL_PREFIX}/${PELKO_RELATIVE_DOC_DIR})
set(PELKO_UNIT_DIR ${CMAKE_INSTALL_PREFIX}/${PELKO_RELATIVE_UNIT_DIR})

foreach(name pelko.service README.Debian pelko.8)
  configure_file(${PELKO_SOURCE_DIR}/${name}.in ${PELKO_OUTPUT_DIR}/${name} @ONLY)
endforeach()
# Debian wants manual pages and changelogs compressed without a name or time stamp in them.
foreach(file ${PELKO_OUTPUT_DIR}/pelko.8 ${PELKO_SOURCE_DIR}/changelog)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND gzip -9nc ${file} OUTPUT_FILE ${PELKO_OUTPUT_DIR}/${name}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
