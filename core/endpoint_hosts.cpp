#include "core/endpoint_hosts.h"

#include "core/service_endpoints.h"

TEndpointHosts& EndpointHosts()
{
  static TEndpointHosts hosts{
      korvalind::endpoints::HeartBeatHost,
      {korvalind::endpoints::UpdateHost1, korvalind::endpoints::UpdateHost2, korvalind::endpoints::UpdateHost3},
      korvalind::endpoints::DetectHost};
  return hosts;
}
