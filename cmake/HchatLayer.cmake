# One folder = one library target. Sources are picked up by glob so that a new
# class is one new pair of files and nothing else. Files ending in _win.cpp
# build on Windows only, _linux.cpp everywhere else.
function(hchat_add_layer name)
  cmake_parse_arguments(L "" "" "QT;DEPS;EXTRA" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_linux\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(hchat_${name} STATIC ${sources} ${L_EXTRA})
  add_library(hchat::${name} ALIAS hchat_${name})
  target_include_directories(hchat_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(m ${L_QT})
    target_link_libraries(hchat_${name} PUBLIC Qt6::${m})
  endforeach()
  if(L_DEPS)
    target_link_libraries(hchat_${name} PUBLIC ${L_DEPS})
  endif()
endfunction()
