# nlohmann-json, header-only, from the build host (Debian's nlohmann-json3-dev)
# for every build: the target zorv_json. A cross build gets a folder holding
# only its headers, so the host's other headers never reach the cross compiler.
find_path(ZORV_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH
  PATHS /usr/include REQUIRED)
if(CMAKE_CROSSCOMPILING)
  set(zorv_json_include ${CMAKE_BINARY_DIR}/third_party_headers)
  file(COPY ${ZORV_NLOHMANN_JSON_INCLUDE}/nlohmann DESTINATION ${zorv_json_include})
else()
  set(zorv_json_include ${ZORV_NLOHMANN_JSON_INCLUDE})
endif()
add_library(zorv_json INTERFACE)
target_include_directories(zorv_json SYSTEM INTERFACE ${zorv_json_include})
