#pragma once
// The program's one runtime error: a German description of what failed
// (which library, which export, which class, which status).
#include <exception>
#include <string>

#include "common/utf8.h"

namespace dllscope {

class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(std::wstring description)
        : description_(std::move(description)), utf8_(ToUtf8(description_)) {}
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    std::wstring description_;
    std::string utf8_;
};

}  // namespace dllscope
