# Writes ravlen-run(1) from its template and the key list that
# `ravlen-run --help` prints, so that the keys are described in one place.
#   cmake -DRUNNER=... -DTEMPLATE=... -DOUTPUT=... -DPROJECT_VERSION=... -P man_page.cmake
execute_process(COMMAND "${RUNNER}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${RUNNER} --help failed: ${status}")
endif()

# From the line that begins "Keys" to the first empty line after it; the whole
# text should the help ever be laid out otherwise.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(keys "")
set(inside OFF)
foreach(line IN LISTS lines)
  if(NOT inside AND line MATCHES "^Keys")
    set(inside ON)
  elseif(inside AND line STREQUAL "")
    break()
  endif()
  if(inside)
    if(line MATCHES "^[.']")
      set(line "\\&${line}")
    endif()
    string(APPEND keys "${line}\n")
  endif()
endforeach()
if(keys STREQUAL "")
  set(keys "${help}")
  string(REPLACE ";" "\n" keys "${keys}")
endif()
string(STRIP "${keys}" RAVLEN_RUN_KEYS)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
