#pragma once

#include <string>

// The five host names the endpoint resolution looks up. They start as the
// build's values (cmake/Endpoints.cmake); tests point them at names the
// sandbox does not know, to drive the fallback paths.
struct TEndpointHosts {
  std::string HeartBeat;
  std::string Update[3];
  std::string Detect;
};

TEndpointHosts& EndpointHosts();
