// The four outside services. Fixed at build time: the program reads no configuration.
// End-to-end tests point these names at local mock services through a private hosts file,
// so they must stay host names (not addresses) for the probe and the three web services.
#pragma once

namespace hosts {

// Serves "/ips138.asp?ip=...&action=2" with the "本站主数据：" list (GBK).
inline constexpr const char* kLocationHost = "www.ip138.com";
// Serves "/ip.php?<keywords>" result pages and "/ip-<address>.htm" detail pages (UTF-8).
// No public host is known to serve exactly these paths. The name is under the reserved
// .invalid domain, so until a real service is chosen here no stranger's server receives
// the user's keywords: the search then simply finds nothing.
inline constexpr const char* kRangeSearchHost = "iprange.verdalo.invalid";
// Serves "/ic.asp", echoing the caller's public address inside <center> (GBK).
inline constexpr const char* kEchoHost = "1212.ip138.com";
// Answers ICMP echo from mainland networks and resolves through any resolver there; a name
// rather than an address, so a machine without name resolution counts as not connected.
inline constexpr const char* kProbeHost = "www.baidu.com";

}  // namespace hosts
