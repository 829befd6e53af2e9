# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  # Each .deb's description starts with its own synopsis; the project's summary would come first.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
elseif(CPACK_GENERATOR MATCHES "^(7Z|TBZ2|TGZ|TXZ|TZ|TZST|ZIP)$")
  # Each component's archive unpacks into one folder, as a whole archive does.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
