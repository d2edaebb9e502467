#pragma once
// One plugin's host with everything that speaks to it: the process, the
// client that checks each answer against its request, and the libraries and
// bridge over that client, whose texts cross as the ANSI code page's bytes
// (as the bridge converts them in this process).
#include <string>

#include "common/win32/ansi.h"
#include "host/host_client.h"
#include "host/win32/host_process.h"

namespace dllscope {

class HostSession {
  public:
    // `program` is dllscope-host.exe; `bridge` the bridge, a full path or
    // the bare name the host finds beside itself.
    HostSession(std::wstring program, const std::wstring& bridge, HostWaiting& waiting)
        : process(std::move(program), PassablePath(bridge), waiting),
          client(process),
          libraries(client),
          bridge(client, codec, bridge) {}
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    AnsiTextCodec codec;  // made before the bridge that converts through it
    PluginHost process;
    HostClient client;
    HostLibraries libraries;
    HostBridge bridge;
};

}  // namespace dllscope
