#pragma once
// Who is told when a command of a window begins and when it has ended,
// however it ended: by the handler's name ("Command10_Click", "File1_Click").
#include <string>

namespace dllscope {

class CommandListener {
  public:
    virtual ~CommandListener() = default;
    virtual void CommandBegins(const std::wstring& handler) = 0;
    virtual void CommandEnded(const std::wstring& handler) = 0;
};

}  // namespace dllscope
