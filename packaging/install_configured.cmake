# Run by `cmake --install` and CPack: installs a file made from a template
# that names installed paths.  The prefix is only final now (`--prefix`,
# and CPack's /usr, both replace the one the build was configured with), so
# the template is filled in here rather than when the build is configured.
#
# Expects, from the install(CODE) that includes this:
#   ZELLHOP_TEMPLATE     the template, with @ZELLHOP_FULL_BINDIR@,
#                        @ZELLHOP_PINS_DIR@, @ZELLHOP_UNIT_DIR@,
#                        @ZELLHOP_LOBBY_DATA_DIR@, @ZELLHOP_LOBBY_LIBEXEC_DIR@
#                        and @PROJECT_VERSION@ in it
#   ZELLHOP_DESTINATION  folder relative to the prefix
#   ZELLHOP_NAME         name of the installed file
#   ZELLHOP_GZIP         ON to install it compressed, as NAME.gz
#   ZELLHOP_STAGING      a folder of the build tree for the filled-in copy
#   ZELLHOP_BINDIR, ZELLHOP_DATADIR  the GNUInstallDirs folders
#   ZELLHOP_UNITDIR      the folder of systemd units
#   ZELLHOP_LOBBY_DATADIR, ZELLHOP_LOBBY_LIBEXECDIR  the lobby's coturn files
#   PROJECT_VERSION

function(zellhop_full_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

zellhop_full_path(ZELLHOP_FULL_BINDIR "${ZELLHOP_BINDIR}")
zellhop_full_path(ZELLHOP_FULL_DATADIR "${ZELLHOP_DATADIR}")
zellhop_full_path(ZELLHOP_UNIT_DIR "${ZELLHOP_UNITDIR}")
set(ZELLHOP_PINS_DIR "${ZELLHOP_FULL_DATADIR}/zellhop")
zellhop_full_path(ZELLHOP_LOBBY_DATA_DIR "${ZELLHOP_LOBBY_DATADIR}")
zellhop_full_path(ZELLHOP_LOBBY_LIBEXEC_DIR "${ZELLHOP_LOBBY_LIBEXECDIR}")

# A folder for each prefix: installs into different prefixes may run side
# by side (a test and CPack).
string(MD5 prefix_key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(staging_run "${ZELLHOP_STAGING}/${prefix_key}")
set(staged "${staging_run}/${ZELLHOP_NAME}")
configure_file("${ZELLHOP_TEMPLATE}" "${staged}" @ONLY)

set(installed_name "${ZELLHOP_NAME}")
if(ZELLHOP_GZIP)
  # -n: no name or time stamp inside, so that packages build the same twice.
  execute_process(COMMAND gzip -9 -n -f "${staged}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${staged} failed")
  endif()
  string(APPEND staged ".gz")
  string(APPEND installed_name ".gz")
endif()

file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${ZELLHOP_DESTINATION}" TYPE FILE
     RENAME "${installed_name}" FILES "${staged}")
file(REMOVE_RECURSE "${staging_run}")
