# The library's sources and export list, for the Linux build (library/) and the
# Windows build (windows/) alike.
set(BREVANTO_LIBRARY_SOURCES
  core/state.cpp
  core/lifecycle.cpp
  core/functions.cpp
  core/report.cpp
  core/arguments.cpp
  core/strings.cpp
  session/session.cpp
  session/connect.cpp
  session/dial.cpp
  transfer/buffer.cpp
  transfer/connecturl.cpp
  transfer/in.cpp
  transfer/out.cpp
  ftp/dir.cpp
  ftp/file.cpp
  ftp/rename.cpp
  ftp/matchname.cpp
  options/cookie.cpp
  options/option.cpp
)
list(TRANSFORM BREVANTO_LIBRARY_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
set(BREVANTO_LIBRARY_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/core/brevanto.rc)
set(BREVANTO_LIBRARY_DEF ${CMAKE_CURRENT_LIST_DIR}/brevanto.def)
