# nlohmann-json (Debian's nlohmann-json3-dev, header-only) as the interface
# target zorv_nlohmann_json. A cross build takes only the library's own
# folder from the host, never the host's whole /usr/include.
if(NOT TARGET zorv_nlohmann_json)
  find_path(ZORV_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include
            NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(zorv_nlohmann_json_dir ${CMAKE_BINARY_DIR}/nlohmann-json)
  file(MAKE_DIRECTORY ${zorv_nlohmann_json_dir})
  file(CREATE_LINK ${ZORV_NLOHMANN_JSON_INCLUDE}/nlohmann ${zorv_nlohmann_json_dir}/nlohmann
       SYMBOLIC)
  add_library(zorv_nlohmann_json INTERFACE)
  target_include_directories(zorv_nlohmann_json SYSTEM INTERFACE ${zorv_nlohmann_json_dir})
endif()
