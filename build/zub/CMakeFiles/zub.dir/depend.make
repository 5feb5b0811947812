# Empty dependencies file for zub.
# This may be replaced when dependencies are built.
