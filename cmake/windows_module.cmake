# The Windows module: filled in with the MinGW build.
