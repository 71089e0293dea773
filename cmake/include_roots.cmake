# Include roots that let a target reach some layers' headers and not others (src/CMakeLists.txt).
#
# kalvex_include_root(NAME TARGET PATH...): the INTERFACE library TARGET whose include root
# ${CMAKE_BINARY_DIR}/include/TARGET holds NAME as a link to PATH when PATH is one directory, or
# the directory NAME holding a link to each PATH when they are files.
function(kalvex_include_root name target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  if(IS_DIRECTORY "${ARGN}")
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${ARGN} ${root}/${name} SYMBOLIC)
  else()
    file(MAKE_DIRECTORY ${root}/${name})
    foreach(path ${ARGN})
      get_filename_component(file ${path} NAME)
      file(CREATE_LINK ${path} ${root}/${name}/${file} SYMBOLIC)
    endforeach()
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE ${root})
endfunction()
