#pragma once
// The program's one runtime error: a German description of what failed
// (which library, which export, which class, which status).
#include <exception>
#include <string>

namespace dllscope {

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(std::wstring description) : description_(std::move(description)) {}
    const std::wstring& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return "Dllscope runtime error"; }

private:
    std::wstring description_;
};

}  // namespace dllscope
