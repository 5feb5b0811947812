# Empty dependencies file for browser_bench.
# This may be replaced when dependencies are built.
