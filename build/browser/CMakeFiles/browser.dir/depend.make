# Empty dependencies file for browser.
# This may be replaced when dependencies are built.
