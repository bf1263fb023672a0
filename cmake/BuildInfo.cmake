# What the program knows of its build: the build date as "Mmm dd yyyy" (English month
# abbreviation, the day padded with a blank), in UTC. string(TIMESTAMP) takes the date
# from SOURCE_DATE_EPOCH when it is set, so that a rebuild of the same sources gives
# the same programs and package.
string(TIMESTAMP _zarn_month "%m" UTC)
string(TIMESTAMP _zarn_day "%d" UTC)
string(TIMESTAMP _zarn_year "%Y" UTC)
set(_zarn_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR _zarn_month_index "${_zarn_month} - 1")
list(GET _zarn_months ${_zarn_month_index} _zarn_month_name)
string(REGEX REPLACE "^0" " " _zarn_day "${_zarn_day}")
set(ZARN_BUILD_DATE "${_zarn_month_name} ${_zarn_day} ${_zarn_year}")

# Where an install puts the help, as seen from where it puts the programs.
include(GNUInstallDirs)
file(RELATIVE_PATH ZARN_INSTALLED_HELP_RELATIVE "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/zarn26/Help")
