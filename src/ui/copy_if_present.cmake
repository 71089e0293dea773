# Copies SRC to DST when SRC exists; the identification list may not be in the tree yet.
if(EXISTS "${SRC}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
