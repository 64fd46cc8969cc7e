# Install rules and packaging.
install(TARGETS skinpreview RUNTIME DESTINATION bin)
