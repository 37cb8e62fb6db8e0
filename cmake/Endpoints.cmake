# The service's built-in endpoints. The defaults are names under the reserved
# ".test" domain and loopback addresses, so an unconfigured build never reaches
# a real network; a release build sets the real values on the cmake command line.
set(KORVALIND_SERVICE_DOMAIN "korvalind.test" CACHE STRING "The service's own domain (default of ACCOUNT/Domain)")
set(KORVALIND_HEARTBEAT_HOST "heartbeat.korvalind.test" CACHE STRING "Heartbeat server host name")
set(KORVALIND_UPDATE_HOST1 "update1.korvalind.test" CACHE STRING "First update server host name")
set(KORVALIND_UPDATE_HOST2 "update2.korvalind.test" CACHE STRING "Second update server host name")
set(KORVALIND_UPDATE_HOST3 "update3.korvalind.test" CACHE STRING "Third update server host name")
set(KORVALIND_DETECT_HOST "myip.korvalind.test" CACHE STRING "Address-detection server host name")
set(KORVALIND_UPDATE_FALLBACK_IPS "127.0.1.1;127.0.1.2;127.0.1.3;127.0.1.4;127.0.1.5;127.0.1.6"
    CACHE STRING "Six update server addresses used when the lookup fails")
set(KORVALIND_DETECT_FALLBACK_IPS "127.0.2.1;127.0.2.2;127.0.2.3;127.0.2.4"
    CACHE STRING "Four detection server addresses used when the lookup fails")
set(KORVALIND_WEB_URL "http://www.korvalind.test/" CACHE STRING "The service's web page")

list(LENGTH KORVALIND_UPDATE_FALLBACK_IPS _n)
if(NOT _n EQUAL 6)
  message(FATAL_ERROR "KORVALIND_UPDATE_FALLBACK_IPS needs exactly 6 addresses, got ${_n}")
endif()
list(LENGTH KORVALIND_DETECT_FALLBACK_IPS _n)
if(NOT _n EQUAL 4)
  message(FATAL_ERROR "KORVALIND_DETECT_FALLBACK_IPS needs exactly 4 addresses, got ${_n}")
endif()

string(REPLACE ";" "\", \"" KORVALIND_UPDATE_FALLBACK_LIST "${KORVALIND_UPDATE_FALLBACK_IPS}")
string(REPLACE ";" "\", \"" KORVALIND_DETECT_FALLBACK_LIST "${KORVALIND_DETECT_FALLBACK_IPS}")
set(KORVALIND_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/service_endpoints.h.in
               ${KORVALIND_GENERATED_DIR}/core/service_endpoints.h @ONLY)
