#pragma once

// The real platform of this build: each function is implemented once per backend
// (posix/ or win32/), and CMake compiles only the backend of the target system.

#include <memory>

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/http_client.h"
#include "platform/name_resolver.h"
#include "platform/process_runner.h"
#include "platform/tcp_socket.h"
#include "platform/udp_socket.h"
#include "platform/web_server.h"

namespace nimbrix {

// Sets the terminal up (raw keys, Ctrl+C as byte 3) and restores it when destroyed,
// and on SIGTERM/SIGHUP or a fatal error.
std::unique_ptr<Console> MakeSystemConsole();
std::unique_ptr<Clock> MakeSystemClock();
std::unique_ptr<Automation> MakeSystemAutomation();
// The socket under the APRS-IS connection (uplink/connection.h holds the policy above it).
std::unique_ptr<TcpSocket> MakeSystemTcpSocket();
// The sockets and the look-ups of the outputs beside the APRS-IS link, which never wait.
std::unique_ptr<UdpSocket> MakeSystemUdpSocket();
std::unique_ptr<NameResolver> MakeSystemNameResolver();
std::unique_ptr<HttpClient> MakeSystemHttpClient();
std::unique_ptr<ProcessRunner> MakeSystemProcessRunner();
// The status page's server (WEB=); on a system without one, Start says so.
std::unique_ptr<WebServerStarter> MakeSystemWebServerStarter();

}  // namespace nimbrix
