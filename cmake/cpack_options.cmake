# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "DEB")
  # Each .deb's description starts with its own synopsis; the project's summary would come first.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
