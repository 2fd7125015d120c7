# Checks the layers of the program (run by ctest as the test "layering"):
# - no source outside app/ includes a header of app/;
# - no source of the core library includes a window of ours or a widget header;
# - the core library links no Qt Widgets.
# Given: SOURCE_DIR, CORE_SOURCES (a list of paths below SOURCE_DIR), CORE_LINKS.

set(faults "")

file(GLOB_RECURSE all_sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h
     ${SOURCE_DIR}/transfer/*.cpp ${SOURCE_DIR}/transfer/*.h
     ${SOURCE_DIR}/settings/*.cpp ${SOURCE_DIR}/settings/*.h
     ${SOURCE_DIR}/preview/*.cpp ${SOURCE_DIR}/preview/*.h)
foreach(f IN LISTS all_sources)
  file(STRINGS ${SOURCE_DIR}/${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]app/")
  if(hits)
    string(APPEND faults "${f} includes app/: ${hits}\n")
  endif()
endforeach()

foreach(f IN LISTS CORE_SOURCES)
  if(NOT f MATCHES "\\.(cpp|h)$")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${f} hits
       REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*_ui\\.h|[^\">]*/frm[^\">]*|QtWidgets[^\">]*|QWidget|QDialog|QApplication|QLabel|QPushButton|QMessageBox)[\">]")
  if(hits)
    string(APPEND faults "${f} is in the core but includes windows: ${hits}\n")
  endif()
endforeach()

if(CORE_LINKS MATCHES "Widgets")
  string(APPEND faults "the core library links Qt Widgets: ${CORE_LINKS}\n")
endif()

if(faults)
  message(FATAL_ERROR "The layers do not hold:\n${faults}")
endif()
message(STATUS "Layers hold: ${SOURCE_DIR}")
