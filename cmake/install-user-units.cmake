# Runs at install time (install(SCRIPT)): writes the systemd user units with ExecStart naming
# the programs where this installation puts them, which only the install knows (CPack installs
# to /usr while the build's default prefix is /usr/local), and installs them into
# <prefix>/lib/systemd/user, a folder the user's systemd reads (/usr/lib/systemd/user in the
# Debian package). Set before it runs: NIMBRIX_UNIT_SOURCES (the *.service.in files),
# NIMBRIX_UNIT_WORK (a folder of the build), NIMBRIX_UNIT_BINDIR_RELATIVE (bin).
set(NIMBRIX_UNIT_BINDIR "${CMAKE_INSTALL_PREFIX}/${NIMBRIX_UNIT_BINDIR_RELATIVE}")
# One folder per prefix: installs to different prefixes may follow each other.
string(MD5 prefix_key "${CMAKE_INSTALL_PREFIX}")
foreach(source IN LISTS NIMBRIX_UNIT_SOURCES)
  get_filename_component(unit ${source} NAME_WLE)
  configure_file(${source} ${NIMBRIX_UNIT_WORK}/${prefix_key}/${unit} @ONLY)
  file(INSTALL ${NIMBRIX_UNIT_WORK}/${prefix_key}/${unit}
       DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/user")
endforeach()
