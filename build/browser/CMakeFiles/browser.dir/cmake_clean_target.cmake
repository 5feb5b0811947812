file(REMOVE_RECURSE
  "libbrowser.a"
)
