file(REMOVE_RECURSE
  "libzub.a"
)
