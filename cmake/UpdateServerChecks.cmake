# Refuses update server settings that would weaken the update check. Included
# by the build; the tests also run it alone: cmake -D<var>=<value> -P <this file>.

# The address goes into the program as a string: https, and nothing that could
# end the string or hide a space.
if(NOT TARROW_UPDATE_BASE_URL MATCHES "^https://[^\"\\ ]+$")
  message(FATAL_ERROR "TARROW_UPDATE_BASE_URL must begin with https:// and hold no quote, "
    "backslash or space: \"${TARROW_UPDATE_BASE_URL}\"")
endif()
# A build handed to users trusts only the system's authorities.
if(TARROW_SHIPPED_BUILD AND NOT "${TARROW_TEST_CA_FILE}" STREQUAL "")
  message(FATAL_ERROR "TARROW_TEST_CA_FILE is for test builds only; this build is for users. "
    "Clear it (-DTARROW_TEST_CA_FILE=) or build elsewhere.")
endif()
