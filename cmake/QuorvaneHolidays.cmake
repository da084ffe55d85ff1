# The public-holiday calendars shipped for alarms that skip days off, made at
# build time from Debian's python3-holidays. Debian's own interpreter is called
# by its path: a python3 earlier in PATH (pyenv, a virtual environment) does
# not see Debian's packages.
set(QUORVANE_HOLIDAY_FIRST_YEAR 2024 CACHE STRING "First year of the shipped holiday calendars")
set(QUORVANE_HOLIDAY_LAST_YEAR 2035 CACHE STRING "Last year of the shipped holiday calendars")
find_program(QUORVANE_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT QUORVANE_SYSTEM_PYTHON)
  message(FATAL_ERROR "The shipped holiday calendars need Debian's /usr/bin/python3 with python3-holidays "
                      "(apt-get install python3-holidays, or run scripts/setup).")
endif()
execute_process(COMMAND ${QUORVANE_SYSTEM_PYTHON} -c "import holidays"
                RESULT_VARIABLE holidays_missing OUTPUT_QUIET ERROR_QUIET)
if(holidays_missing)
  message(FATAL_ERROR "${QUORVANE_SYSTEM_PYTHON} cannot import the holidays module: the shipped holiday "
                      "calendars need Debian's python3-holidays (apt-get install python3-holidays, or run scripts/setup).")
endif()

set(QUORVANE_HOLIDAY_CODES DE DE-BW DE-BY DE-BE DE-BB DE-HB DE-HH DE-HE DE-MV DE-NI DE-NW DE-RP DE-SL
    DE-SN DE-ST DE-SH DE-TH GB-ENG GB-WLS GB-SCT GB-NIR)
set(holiday_folder ${CMAKE_BINARY_DIR}/bin/holidays)
set(holiday_files)
foreach(code ${QUORVANE_HOLIDAY_CODES})
  list(APPEND holiday_files ${holiday_folder}/${code}.ics)
endforeach()
add_custom_command(OUTPUT ${holiday_files}
                   COMMAND ${QUORVANE_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/cmake/generate_holidays.py
                           ${holiday_folder} ${QUORVANE_HOLIDAY_FIRST_YEAR} ${QUORVANE_HOLIDAY_LAST_YEAR}
                   COMMAND ${CMAKE_COMMAND} -E touch ${holiday_files}
                   DEPENDS ${CMAKE_SOURCE_DIR}/cmake/generate_holidays.py
                   COMMENT "Holiday calendars ${QUORVANE_HOLIDAY_FIRST_YEAR} to ${QUORVANE_HOLIDAY_LAST_YEAR}"
                   VERBATIM)
add_custom_target(quorvane_holidays ALL DEPENDS ${holiday_files})
install(FILES ${holiday_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/holidays)
