# Empty dependencies file for browser_tests.
# This may be replaced when dependencies are built.
